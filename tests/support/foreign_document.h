#pragma once

// A contract document no engine factory made: what a viewer or a factory must refuse.

#include "imaging/document.h"

namespace folio::testing {

class ForeignDocument : public imaging::Document {
  public:
    void Create(const std::u16string&) override {}
    std::shared_ptr<imaging::ImageCollection> Images() override { return nullptr; }
    void Close(bool) override {}
    void SaveAs(const std::u16string&, int32_t, int32_t) override {}
    void PrintOut(int32_t, int32_t, int32_t, const std::u16string&, const std::u16string&, bool,
                  int32_t) override {}
};

}  // namespace folio::testing
