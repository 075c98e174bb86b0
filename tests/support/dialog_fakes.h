#pragma once

#include <gmock/gmock.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "dialogs/com_dlg.h"
#include "dialogs/print_records.h"
#include "platform/posix/posix_ports.h"

namespace folio::testing {

class MockSaveDialog : public SaveFileDialog {
  public:
    MOCK_METHOD(SaveDialogResult, GetSaveFileName, (SaveFileRecord&), (override));
};

class MockPrintDialog : public PrintDialog {
  public:
    MOCK_METHOD(bool, PrintDlg, (PrintDlgRecord&), (override));
};

// A printer with settable number properties; any property listed in `failing`
// raises when read or written.
class FakePrinter : public PrinterObject {
  public:
    explicit FakePrinter(std::u16string name, std::u16string driver = u"drv",
                         std::u16string port = u"port")
        : texts_{{kPrinterDeviceName, std::move(name)},
                 {kPrinterDriverName, std::move(driver)},
                 {kPrinterPort, std::move(port)}} {}

    std::u16string GetText(int32_t id) override {
        Check(id);
        return texts_.at(id);
    }
    int16_t GetNumber(int32_t id) override {
        Check(id);
        return numbers[id];
    }
    void SetNumber(int32_t id, int16_t value) override {
        Check(id);
        numbers[id] = value;
        writes.push_back(id);
    }

    std::map<int32_t, int16_t> numbers{
        {kPrinterOrientation, 1}, {kPrinterCopies, 1}, {kPrinterDuplex, 1}};
    std::vector<int32_t> failing;
    std::vector<int32_t> writes;

  private:
    void Check(int32_t id) const {
        if (std::find(failing.begin(), failing.end(), id) != failing.end()) {
            throw Error(errors::kPrinterError, "property " + std::to_string(id) + " failed");
        }
    }
    std::map<int32_t, std::u16string> texts_;
};

class FakePrinters : public PrinterRuntime {
  public:
    std::shared_ptr<PrinterObject> Printer() override {
        if (!current) {
            throw Error(errors::kPrinterError, "No printer is installed");
        }
        return current;
    }
    void SetPrinter(std::shared_ptr<PrinterObject> printer) override { current = printer; }
    std::vector<std::shared_ptr<PrinterObject>> Printers() override {
        return {installed.begin(), installed.end()};
    }

    std::shared_ptr<FakePrinter> Add(const std::u16string& name) {
        installed.push_back(std::make_shared<FakePrinter>(name));
        return installed.back();
    }

    std::vector<std::shared_ptr<FakePrinter>> installed;
    std::shared_ptr<PrinterObject> current;
};

class MockMessages : public MessageBox {
  public:
    MOCK_METHOD(void, Show, (const std::u16string&, const std::u16string&, MessageIcon),
                (override));
};

// A comDLG with fakes behind every port.
struct DialogRig {
    ::testing::StrictMock<MockSaveDialog> saveDialog;
    ::testing::StrictMock<MockPrintDialog> printDialog;
    FakePrinters printers;
    posix::GlobalMemoryTable memory;
    ::testing::StrictMock<MockMessages> messages;
    posix::Utf8TextCodec codec;
    dialogs::comDLG dialogs{dialogs::ComDlgPorts{saveDialog, printDialog, printers, memory,
                                                 messages, codec, u"/opt/folio/", 255}};
};

// What a print dialog does on confirmation: it frees the blocks it was given and
// hands back new ones describing the choice.
inline void ChooseInDialog(GlobalMemory& memory, PrintDlgRecord& record,
                           const dialogs::DevNames& names, const dialogs::DevMode& settings,
                           uint16_t from, uint16_t to) {
    memory.GlobalFree(record.devNames);
    memory.GlobalFree(record.devMode);
    record.devNames = dialogs::NewBlockWith(memory, dialogs::EncodeDevNames(names));
    record.devMode = dialogs::NewBlockWith(memory, dialogs::EncodeDevMode(settings));
    record.fromPage = from;
    record.toPage = to;
}

}  // namespace folio::testing
