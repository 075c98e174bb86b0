#include "platform/qt/qt_printers.h"

#include <QPrinterInfo>

#include "common/error.h"
#include "common/error_numbers.h"
#include "platform/qt/qstring_conversion.h"

namespace folio::qt {
namespace {

[[noreturn]] void Refuse(const QString& printer, const std::string& what) {
    throw Error(errors::kInvalidProcedureCall,
                "The printer \"" + printer.toStdString() + "\" " + what);
}

}  // namespace

int16_t DuplexValue(QPrinter::DuplexMode mode) {
    switch (mode) {
        case QPrinter::DuplexShortSide:
            return 3;
        case QPrinter::DuplexLongSide:
        case QPrinter::DuplexAuto:
            return 2;
        case QPrinter::DuplexNone:
            break;
    }
    return 1;
}

class QtPrinters::Entry : public PrinterObject {
  public:
    explicit Entry(const QPrinterInfo& info)
        : name_(info.printerName()), driver_(info.makeAndModel()) {
        settings_.duplex = DuplexValue(info.defaultDuplexMode());
    }

    std::u16string GetText(int32_t dispatchId) override {
        switch (dispatchId) {
            case kPrinterDeviceName:
                return FromQString(name_);
            case kPrinterDriverName:
                return FromQString(driver_);
            case kPrinterPort:
                // CUPS does not show clients where a queue sends its jobs.
                return {};
        }
        Refuse(name_, "has no text property " + std::to_string(dispatchId));
    }

    int16_t GetNumber(int32_t dispatchId) override { return *Field(dispatchId); }

    void SetNumber(int32_t dispatchId, int16_t value) override {
        int16_t* field = Field(dispatchId);
        const bool valid = dispatchId == kPrinterCopies        ? value >= 1
                           : dispatchId == kPrinterOrientation ? value == 1 || value == 2
                                                               : value >= 1 && value <= 3;
        if (!valid) {
            Refuse(name_, "cannot take the value " + std::to_string(value) + " for property " +
                              std::to_string(dispatchId));
        }
        *field = value;
    }

    const PrinterSettings& Settings() const { return settings_; }

  private:
    int16_t* Field(int32_t dispatchId) {
        switch (dispatchId) {
            case kPrinterOrientation:
                return &settings_.orientation;
            case kPrinterCopies:
                return &settings_.copies;
            case kPrinterDuplex:
                return &settings_.duplex;
        }
        Refuse(name_, "has no number property " + std::to_string(dispatchId));
    }

    QString name_;
    QString driver_;
    PrinterSettings settings_;
};

QtPrinters::QtPrinters() {
    QString name = QPrinterInfo::defaultPrinterName();
    if (name.isEmpty()) {
        const QStringList names = QPrinterInfo::availablePrinterNames();
        name = names.isEmpty() ? QString() : names.constFirst();
    }
    if (!name.isEmpty()) {
        current_ = EntryFor(name);
    }
}

std::shared_ptr<QtPrinters::Entry> QtPrinters::EntryFor(const QString& name) {
    auto& entry = entries_[name];
    if (!entry) {
        entry = std::make_shared<Entry>(QPrinterInfo::printerInfo(name));
    }
    return entry;
}

std::shared_ptr<PrinterObject> QtPrinters::Printer() {
    if (!current_) {
        throw Error(errors::kPrinterError,
                    "No printer is installed. Add a printer in the system's printer settings.");
    }
    return current_;
}

void QtPrinters::SetPrinter(std::shared_ptr<PrinterObject> printer) {
    auto entry = std::dynamic_pointer_cast<Entry>(std::move(printer));
    if (!entry) {
        throw Error(errors::kInvalidProcedureCall, "Only an installed printer can be made current");
    }
    current_ = std::move(entry);
}

std::vector<std::shared_ptr<PrinterObject>> QtPrinters::Printers() {
    std::vector<std::shared_ptr<PrinterObject>> printers;
    for (const QString& name : QPrinterInfo::availablePrinterNames()) {
        printers.push_back(EntryFor(name));
    }
    return printers;
}

PrinterSettings QtPrinters::SettingsOf(const std::u16string& deviceName) {
    return EntryFor(ToQString(deviceName))->Settings();
}

}  // namespace folio::qt
