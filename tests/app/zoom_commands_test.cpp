#include "view/view_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <functional>
#include <vector>

#include "app/fakes.h"
#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::view {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::Eq;
using ::testing::InSequence;
using testing::MockViewer;
using ::testing::NiceMock;
using ::testing::SetArgReferee;
using ::testing::StrictMock;

// A viewer that holds its two factors, as the real control does.
struct ZoomHoldingViewer {
    NiceMock<MockViewer> mock;
    double first = 1.0;
    double second = 1.0;

    ZoomHoldingViewer() {
        ON_CALL(mock, GetZoom).WillByDefault([this](double& a, double& b) {
            a = first;
            b = second;
        });
        ON_CALL(mock, SetZoom).WillByDefault([this](double& a, double& b) {
            first = a;
            second = b;
        });
    }
};

struct ZoomCase {
    const char* name;
    double startFirst;
    double startSecond;
    int stepsIn;
    int stepsOut;
    double endFirst;
    double endSecond;
};

class ZoomArithmetic : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(ZoomArithmetic, StepsMultiplyAndDivideEachFactorExactly) {
    const ZoomCase& c = GetParam();
    ZoomHoldingViewer viewer;
    viewer.first = c.startFirst;
    viewer.second = c.startSecond;
    for (int i = 0; i < c.stepsIn; ++i) {
        ZoomIn(viewer.mock);
    }
    for (int i = 0; i < c.stepsOut; ++i) {
        ZoomOut(viewer.mock);
    }
    // Exact comparison on purpose: the factors must drift as doubles do, unsnapped.
    EXPECT_EQ(viewer.first, c.endFirst);
    EXPECT_EQ(viewer.second, c.endSecond);
}

INSTANTIATE_TEST_SUITE_P(
    Zoom, ZoomArithmetic,
    ::testing::Values(ZoomCase{"OneIn", 1.0, 1.0, 1, 0, 1.3, 1.3},
                      ZoomCase{"TwoIn", 1.0, 1.0, 2, 0, 1.6900000000000002, 1.6900000000000002},
                      ZoomCase{"ThreeIn", 1.0, 1.0, 3, 0, 2.1970000000000005, 2.1970000000000005},
                      ZoomCase{"OneOut", 1.0, 1.0, 0, 1, 0.7692307692307692, 0.7692307692307692},
                      ZoomCase{"TenInTenOutDrifts", 1.0, 1.0, 10, 10, 1.0000000000000002,
                               1.0000000000000002},
                      ZoomCase{"FactorsKeptApart", 1.0, 2.0, 1, 0, 1.3, 2.6},
                      ZoomCase{"FactorsKeptApartOut", 2.0, 1.0, 0, 1, 2.0 / 1.3, 1.0 / 1.3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OriginalSize, ReadsTheFactorsThenSetsBothToOne) {
    StrictMock<MockViewer> viewer;
    InSequence order;
    EXPECT_CALL(viewer, GetZoom(Eq(0.0), Eq(0.0)))
        .WillOnce(DoAll(SetArgReferee<0>(3.5), SetArgReferee<1>(0.25)));
    EXPECT_CALL(viewer, SetZoom(Eq(1.0), Eq(1.0)));
    ResetToOriginalSize(viewer);
}

TEST(OriginalSize, RestoresExactlyOneAfterDrift) {
    ZoomHoldingViewer viewer;
    for (int i = 0; i < 10; ++i) {
        ZoomIn(viewer.mock);
    }
    for (int i = 0; i < 10; ++i) {
        ZoomOut(viewer.mock);
    }
    ASSERT_NE(viewer.first, 1.0);
    ResetToOriginalSize(viewer.mock);
    EXPECT_EQ(viewer.first, 1.0);
    EXPECT_EQ(viewer.second, 1.0);
}

TEST(ZoomStep, StartsFromWhatTheViewerReportsNow) {
    StrictMock<MockViewer> viewer;
    InSequence order;
    // First call: the factors a fit produced; nothing is cached between steps.
    EXPECT_CALL(viewer, GetZoom(Eq(0.0), Eq(0.0)))
        .WillOnce(DoAll(SetArgReferee<0>(0.5), SetArgReferee<1>(0.5)));
    EXPECT_CALL(viewer, SetZoom(Eq(0.5 * 1.3), Eq(0.5 * 1.3)));
    EXPECT_CALL(viewer, GetZoom(Eq(0.0), Eq(0.0)))
        .WillOnce(DoAll(SetArgReferee<0>(2.0), SetArgReferee<1>(4.0)));
    EXPECT_CALL(viewer, SetZoom(Eq(2.0 / 1.3), Eq(4.0 / 1.3)));
    ZoomIn(viewer);
    ZoomOut(viewer);
}

TEST(ZoomStep, OverflowRaisesBeforeAnythingIsSet) {
    for (const auto& factors :
         std::vector<std::pair<double, double>>{{DBL_MAX, 1.0}, {1.0, DBL_MAX}}) {
        StrictMock<MockViewer> viewer;
        EXPECT_CALL(viewer, GetZoom(_, _))
            .WillOnce(DoAll(SetArgReferee<0>(factors.first), SetArgReferee<1>(factors.second)));
        EXPECT_CALL(viewer, SetZoom(_, _)).Times(0);
        try {
            ZoomIn(viewer);
            ADD_FAILURE() << "no overflow raised";
        } catch (const Error& e) {
            EXPECT_EQ(e.Number(), errors::kOverflow);
        }
    }
}

TEST(ZoomStep, ViewerErrorsPassThroughAndLeaveTheZoom) {
    StrictMock<MockViewer> viewer;
    EXPECT_CALL(viewer, GetZoom(_, _)).WillOnce([](double&, double&) {
        throw Error(errors::kInvalidProcedureCall, "viewer broke");
    });
    EXPECT_CALL(viewer, SetZoom(_, _)).Times(0);
    EXPECT_THROW(ResetToOriginalSize(viewer), Error);
}

}  // namespace
}  // namespace folio::view
