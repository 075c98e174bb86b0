#pragma once

#include <gmock/gmock.h>

#include "imaging/document.h"
#include "imaging/document_factory.h"
#include "imaging/image.h"
#include "imaging/image_collection.h"
#include "imaging/viewer_control.h"
#include "platform/file_attributes.h"
#include "platform/main_window.h"
#include "platform/message_box.h"
#include "platform/open_file_dialog.h"
#include "platform/settings_store.h"
#include "platform/url_opener.h"

namespace folio::testing {

class MockViewer : public imaging::ViewerControl {
  public:
    MOCK_METHOD(void, SetDocument, (std::shared_ptr<imaging::Document>), (override));
    MOCK_METHOD(std::shared_ptr<imaging::Document>, GetDocument, (), (override));
    MOCK_METHOD(void, SetFileName, (const std::u16string&), (override));
    MOCK_METHOD(std::u16string, GetFileName, (), (override));
    MOCK_METHOD(int32_t, PageNum, (), (override));
    MOCK_METHOD(void, SetPageNum, (int32_t), (override));
    MOCK_METHOD(int32_t, NumPages, (), (override));
    MOCK_METHOD(void, SetFitMode, (int32_t), (override));
    MOCK_METHOD(int32_t, GetFitMode, (), (override));
    MOCK_METHOD(void, GetZoom, (double&, double&), (override));
    MOCK_METHOD(void, SetZoom, (double&, double&), (override));
    MOCK_METHOD(int32_t, LivenessProbe, (), (override));
    MOCK_METHOD(void, SetWidth, (float), (override));
    MOCK_METHOD(void, SetHeight, (float), (override));
};

class MockImageCollection : public imaging::ImageCollection {
  public:
    MOCK_METHOD(int32_t, Count, (), (override));
    MOCK_METHOD(std::shared_ptr<imaging::Image>, Item, (int32_t), (override));
};

class MockDocument : public imaging::Document {
  public:
    MOCK_METHOD(void, Create, (const std::u16string&), (override));
    MOCK_METHOD(std::shared_ptr<imaging::ImageCollection>, Images, (), (override));
    MOCK_METHOD(void, Close, (bool), (override));
    MOCK_METHOD(void, SaveAs, (const std::u16string&, int32_t, int32_t), (override));
    MOCK_METHOD(void, PrintOut,
                (int32_t, int32_t, int32_t, const std::u16string&, const std::u16string&, bool,
                 int32_t),
                (override));
};

class MockDocumentFactory : public imaging::DocumentFactory {
  public:
    MOCK_METHOD(std::shared_ptr<imaging::Document>, NewDocument, (), (override));
};

class MockSettings : public SettingsStore {
  public:
    MOCK_METHOD(std::u16string, GetSetting,
                (const std::u16string&, const std::u16string&, const std::u16string&,
                 const std::u16string&),
                (override));
    MOCK_METHOD(void, SaveSetting,
                (const std::u16string&, const std::u16string&, const std::u16string&,
                 const std::u16string&),
                (override));
};

class MockOpenDialog : public OpenFileDialog {
  public:
    MOCK_METHOD(std::optional<std::u16string>, ShowOpen, (const OpenFileRequest&), (override));
};

class MockMessageBox : public MessageBox {
  public:
    MOCK_METHOD(void, Show, (const std::u16string&, const std::u16string&, MessageIcon),
                (override));
};

class MockMainWindow : public MainWindow {
  public:
    MOCK_METHOD(WindowHandle, Handle, (), (const, override));
    MOCK_METHOD(std::u16string, Caption, (), (const, override));
};

class MockFileAttributes : public FileAttributes {
  public:
    MOCK_METHOD(int32_t, GetFileAttributes, (const std::u16string&), (override));
};

class MockUrlOpener : public UrlOpener {
  public:
    MOCK_METHOD(bool, OpenUrl, (WindowHandle, const std::u16string&), (override));
};

}  // namespace folio::testing
