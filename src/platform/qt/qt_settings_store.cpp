#include "platform/qt/qt_settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "platform/qt/qstring_conversion.h"

namespace folio::qt {
namespace {

QString SettingKey(const std::u16string& section, const std::u16string& key) {
    return ToQString(section) + u'/' + ToQString(key);
}

// QSettings writes a lone surrogate as U+FFFD, which would lose a name's bytes
// that are not UTF-8; such a name is kept as its bytes instead, which the file
// shows as "@ByteArray(/srv/scans\xff/)". Other values stay plain text.
QVariant StoredValue(const std::u16string& value) {
    if (ShownText(value) != value) {
        return QByteArray::fromStdString(ToUtf8(value));
    }
    return ToQString(value);
}

std::u16string ReadValue(const QVariant& value) {
    if (value.typeId() == QMetaType::QByteArray) {
        return FromUtf8(value.toByteArray().toStdString());
    }
    return FromQString(value.toString());
}

}  // namespace

QString QtSettingsStore::FilePath(const std::u16string& app) {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    const QString name = ToQString(app);
    return base + u'/' + name + u'/' + name + QStringLiteral(".conf");
}

std::u16string QtSettingsStore::GetSetting(const std::u16string& app, const std::u16string& section,
                                           const std::u16string& key,
                                           const std::u16string& defaultValue) {
    const QString path = FilePath(app);
    QSettings settings(path, QSettings::IniFormat);
    const QVariant value = settings.value(SettingKey(section, key));
    if (settings.status() != QSettings::NoError) {
        throw Error(settings.status() == QSettings::FormatError ? errors::kInvalidFileFormat
                                                                : errors::kPermissionDenied,
                    "The settings file " + path.toStdString() + " cannot be read");
    }
    if (!value.isValid()) {
        return defaultValue;
    }
    return ReadValue(value);
}

void QtSettingsStore::SaveSetting(const std::u16string& app, const std::u16string& section,
                                  const std::u16string& key, const std::u16string& value) {
    const QString path = FilePath(app);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(SettingKey(section, key), StoredValue(value));
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        throw Error(errors::kPermissionDenied,
                    "The settings file " + path.toStdString() + " cannot be written");
    }
}

}  // namespace folio::qt
