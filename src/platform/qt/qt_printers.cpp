#include "platform/qt/qt_printers.h"

#include <cups/cups.h>

#include <QPrintEngine>
#include <QPrinterInfo>
#include <string>
#include <utility>

#include "common/error.h"
#include "common/error_numbers.h"
#include "platform/qt/qstring_conversion.h"

namespace folio::qt {
namespace {

[[noreturn]] void Refuse(const QString& printer, const std::string& what) {
    throw Error(errors::kInvalidProcedureCall,
                "The printer \"" + printer.toStdString() + "\" " + what);
}

// Where Qt's CUPS print engine keeps the printing system's own job options.
const auto kSystemOptionsKey = QPrintEngine::PrintEnginePropertyKey(0xfe00);

// The printer CUPS names as the default, or failing that the first one listed.
QString DefaultPrinterName() {
    QString name = QPrinterInfo::defaultPrinterName();
    if (name.isEmpty()) {
        const QStringList names = QPrinterInfo::availablePrinterNames();
        name = names.isEmpty() ? QString() : names.constFirst();
    }
    return name;
}

// Without any printer listed, tells an unreachable print server from one that has
// no printer: QPrinterInfo gives an empty list for both.
[[noreturn]] void NoPrinter() {
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    const ipp_status_t status = cupsLastError();
    cupsFreeDests(count, dests);
    if (count == 0 && status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE) {
        // A server named by a path is a local socket, which has no port.
        std::string server = cupsServer();
        if (!server.starts_with('/')) {
            server += ':' + std::to_string(ippPort());
        }
        throw Error(errors::kPrinterError, "The print server " + server +
                                               " cannot be reached, so no printer can be used. "
                                               "Check that CUPS is running there.");
    }
    throw Error(errors::kPrinterError,
                "No printer is installed. Add a printer in the system's printer settings.");
}

}  // namespace

JobChoices ChoicesOf(QPrinter& printer) {
    const QPageLayout layout = printer.pageLayout();
    JobChoices choices;
    choices.pageSize = layout.pageSize();
    choices.margins = layout.margins();
    choices.marginUnits = layout.units();
    choices.pageOrder = printer.pageOrder();
    choices.collate = printer.collateCopies();
    choices.colorMode = printer.colorMode();
    choices.systemOptions = printer.printEngine()->property(kSystemOptionsKey).toStringList();
    return choices;
}

void ApplyChoices(const JobChoices& choices, QPrinter& printer) {
    if (choices.pageSize.isValid()) {
        printer.setPageSize(choices.pageSize);
    }
    printer.setPageMargins(choices.margins, choices.marginUnits);
    printer.setPageOrder(choices.pageOrder);
    printer.setCollateCopies(choices.collate);
    printer.setColorMode(choices.colorMode);
    printer.printEngine()->setProperty(kSystemOptionsKey, choices.systemOptions);
}

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
    const QString& Name() const { return name_; }

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
    if (const QString name = DefaultPrinterName(); !name.isEmpty()) {
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
    // Printers come and go while the program runs: one added after the start, or a
    // new default once the current one was taken away, is found at the next print.
    if (!current_ || !QPrinterInfo::availablePrinterNames().contains(current_->Name())) {
        const QString name = DefaultPrinterName();
        if (name.isEmpty()) {
            NoPrinter();
        }
        current_ = EntryFor(name);
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

void QtPrinters::KeepChoices(const QString& deviceName, JobChoices choices) {
    choices_[deviceName] = std::move(choices);
}

std::optional<JobChoices> QtPrinters::ChoicesFor(const QString& deviceName) const {
    const auto found = choices_.find(deviceName);
    if (found == choices_.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace folio::qt
