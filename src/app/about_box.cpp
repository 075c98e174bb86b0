#include "app/about_box.h"

#include "common/utf8.h"

namespace folio::app {
namespace {

constexpr char16_t kNewLine[] = u"\r\n";

// 31 spaces, then 13 asterisks whose gaps narrow towards the middle and widen again.
std::u16string DecorativeLine() {
    std::u16string line(31, u' ');
    line += u'*';
    for (int gap : {6, 5, 4, 3, 2, 1, 1, 2, 3, 4, 5, 6}) {
        line.append(static_cast<size_t>(gap), u' ');
        line += u'*';
    }
    return line;
}

std::u16string Decimal(int32_t number) {
    return FromUtf8(std::to_string(number));
}

}  // namespace

std::u16string AboutText(int32_t major, int32_t minor, int32_t revision) {
    std::u16string text =
        u"This program is written for accusation, then no way to see MDI file because of "
        u"impossible to install OFFICE 2003 on old PC";
    text += kNewLine;
    text += kNewLine;
    text += DecorativeLine();
    text += kNewLine;
    text += kNewLine;
    text += kNewLine;
    text += u"powered by ";
    text += kPublisher;
    text += kNewLine;
    text += u"Version: " + Decimal(major) + u"." + Decimal(minor) + u"." + Decimal(revision);
    return text;
}

std::u16string DonationAddress(const std::u16string& head) {
    return head +
           u"&item_name=Donate to say thank you for saved time&currency_code=EUR&no_shipping=1";
}

}  // namespace folio::app
