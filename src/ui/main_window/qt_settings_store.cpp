#include "ui/main_window/qt_settings_store.hpp"

#include <QSettings>

namespace hotfix {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "%" first, so that escaped text never reads as another name.
QString escaped(std::string_view part) {
    QString text = fromUtf8(part);
    text.replace(QLatin1Char('%'), QLatin1String("%25"));
    text.replace(QLatin1Char('\\'), QLatin1String("%5C"));
    text.replace(QLatin1Char('/'), QLatin1String("%2F"));
    return text;
}

QSettings::Format userFormat() {
#ifdef Q_OS_WIN
    return QSettings::NativeFormat;
#else
    return QSettings::IniFormat;
#endif
}

} // namespace

QtSettingsStore::QtSettingsStore()
    : m_settings(std::make_unique<QSettings>(userFormat(), QSettings::UserScope,
                                             QStringLiteral("HotFixInstaller"),
                                             QStringLiteral("HotFixInstaller"))) {}

QtSettingsStore::QtSettingsStore(const QString& iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QtSettingsStore::~QtSettingsStore() = default;

QString QtSettingsStore::settingPath(std::string_view application, std::string_view section,
                                     std::string_view key) {
    return escaped(application) + QLatin1Char('/') + escaped(section) + QLatin1Char('/') + escaped(key);
}

std::string QtSettingsStore::GetSetting(std::string_view application, std::string_view section,
                                        std::string_view key) {
    return m_settings->value(settingPath(application, section, key)).toString().toStdString();
}

void QtSettingsStore::SaveSetting(std::string_view application, std::string_view section,
                                  std::string_view key, std::string_view value) {
    m_settings->setValue(settingPath(application, section, key), fromUtf8(value));
    m_settings->sync();
}

} // namespace hotfix
