#include "platform/qt/qt_settings_store.h"

#include <gtest/gtest.h>

#include <QFile>

#include "common/error.h"
#include "support/temp_dir.h"
#include "support/tiff_fixture.h"

namespace folio::qt {
namespace {

using engine::testing::TempDir;

class SettingsStoreTest : public ::testing::Test {
  protected:
    TempDir dir;
    QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");

    void UseConfig(const std::string& path) {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(path));
    }
    ~SettingsStoreTest() override { qputenv("XDG_CONFIG_HOME", oldConfig); }
};

TEST_F(SettingsStoreTest, KeepsValuesBySectionInTheXdgConfigFile) {
    UseConfig(dir.Path());
    QtSettingsStore store;
    EXPECT_EQ(store.GetSetting(u"FolioLens", u"open", u"fo", u"/home/ann/"), u"/home/ann/");
    store.SaveSetting(u"FolioLens", u"open", u"fo", u"/srv/\u00fcber scans/");
    store.SaveSetting(u"FolioLens", u"save", u"fo", u"");
    EXPECT_EQ(QtSettingsStore::FilePath(u"FolioLens"),
              QString::fromStdString(dir.Path() + "/FolioLens/FolioLens.conf"));
    EXPECT_EQ(store.GetSetting(u"FolioLens", u"open", u"fo", u"/x/"), u"/srv/\u00fcber scans/");
    EXPECT_EQ(store.GetSetting(u"FolioLens", u"save", u"fo", u"/x/"), u"")
        << "a stored empty folder is not the default";
    QFile file(QtSettingsStore::FilePath(u"FolioLens"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[open]")) << text.toStdString();
    EXPECT_TRUE(text.contains("[save]")) << text.toStdString();
}

// A remembered folder is a name from the system: every byte of it comes back,
// and the file shows a byte that is not UTF-8 as an escape, never as U+FFFD.
TEST_F(SettingsStoreTest, KeepsFolderNamesThatAreNotUtf8) {
    UseConfig(dir.Path());
    const std::pair<std::u16string, QByteArray> cases[] = {
        {u"/srv/od\xDCFF/", "fo=@ByteArray(/srv/od\\xff/)"},
        {u"/srv/\xDCC0\xDCAF/", "fo=@ByteArray(/srv/\\xc0\\xaf/)"},
        {u"/srv/caf\u00e9/", "fo=/srv/caf\xC3\xA9/"},
    };
    for (const auto& [folder, line] : cases) {
        QtSettingsStore store;
        store.SaveSetting(u"FolioLens", u"open", u"fo", folder);
        QFile file(QtSettingsStore::FilePath(u"FolioLens"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        EXPECT_TRUE(text.contains(line)) << text.toStdString();
        EXPECT_EQ(store.GetSetting(u"FolioLens", u"open", u"fo", u"/x/"), folder);
    }
}

TEST_F(SettingsStoreTest, DefaultsToDotConfigAndRejectsAnUnwritableFolder) {
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(
        QtSettingsStore::FilePath(u"FolioLens").endsWith(u"/.config/FolioLens/FolioLens.conf"));
    const std::string blocker = dir.File("not-a-folder");
    engine::testing::WriteFileBytes(blocker, {'x'});
    UseConfig(blocker);
    QtSettingsStore store;
    EXPECT_THROW(store.SaveSetting(u"FolioLens", u"open", u"fo", u"/a/"), Error);
    EXPECT_EQ(store.GetSetting(u"FolioLens", u"open", u"fo", u"/d/"), u"/d/");
}

TEST_F(SettingsStoreTest, ADamagedOrUnreadableFileIsAnErrorNotTheDefault) {
    UseConfig(dir.Path());
    QtSettingsStore store;
    store.SaveSetting(u"FolioLens", u"open", u"fo", u"/a/");
    const QString path = QtSettingsStore::FilePath(u"FolioLens");
    engine::testing::WriteFileBytes(path.toStdString(), {'[', 'o', 'p', 'e', 'n', '\n', 'f', 'o'});
    EXPECT_THROW(store.GetSetting(u"FolioLens", u"open", u"fo", u"/d/"), Error);

    store.SaveSetting(u"FolioLens", u"open", u"fo", u"/a/");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    if (QFile(path).open(QIODevice::ReadOnly)) {
        GTEST_SKIP() << "permissions are not enforced for this user";
    }
    EXPECT_THROW(store.GetSetting(u"FolioLens", u"open", u"fo", u"/d/"), Error);
}

}  // namespace
}  // namespace folio::qt
