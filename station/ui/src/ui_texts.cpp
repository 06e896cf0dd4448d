#include "station/ui/ui_texts.h"

#include "platform/ini_profile.h"

#include <QFileInfo>

#include <string>

namespace vantry::station::ui {

namespace {

struct TableText {
    int id;
    const char* text;
};

// The string table: the English texts by number.
constexpr TableText kTable[] = {
    { 104, "Windows sockets initialization failed." },
    { 61206, "Password is incorrect!\n\n Please retry again." },
    { 61209, "Cannot record event video!" },
    { 61214, "The mask size should be between 4x4 and 40x40." },
    { 61215, "The recording is running. Do you want to stop the recording?" },
    { 61216, "The free storage space for camera %d is not enough!  Please remove some unused data from the storage." },
    { 61218, "The event recording is enabled! You cannot disable the motion detection manually." },
    { 61236, "Round-the-clock recording" },
    { 61237, "Event recording" },
    { 61238, "Scheduled recording" },
    { 61239, "Scheduled event recording" },
    { 61264, "The program is not well installed. Please uninstall the program and install it again." },
    { 61266, "The web server cannot be started on the specified TCP port. Please choose another TCP port number." },
    { 61302, "The maximum number of connections must be from 1 to 16." },
    { 61337, "The manual cannot be opened: no program to show it was found." },
    { 61340, "The specified video width is not accepted!\n\nThe video width should be between 720 and 320 pixels!" },
    { 61345, "The specified video color space is not accepted!" },
    { 61356, "Do you want to close the program?" },
    { 61358, "None" },
    { 61359, "Camera %d and Camera %d select the same video source device! \n\nPlease select different video source devices." },
    { 61360, "Camera %d and Camera %d select the same audio source device! \n\nPlease select different audio source devices." },
    { 61361, "The camera has no video device." },
    { 61362, "The number of visible camera video must be greater than or equal to 2  to perform looped display!" },
    { 61385, "No camera is connected! \n\n Do you want to connect cameras first?" },
    { 61391, "The live video of the camera is hidden." },
    { 61393, "You must enter the password first." },
    { 61394, "There is no camera applying detection." },
    { 61397, "Display all camera video" },
    { 61398, "Display camera 1 video" },
    { 61399, "Display camera 2 video" },
    { 61400, "Display camera 3 video" },
    { 61401, "Display camera 4 video" },
    { 61402, "Loop display" },
    { 61403, "Full screen" },
    { 61404, "Snapshot" },
    { 61405, "Pause detection" },
    { 61406, "Search records" },
    { 61407, "Preferences" },
    { 61408, "Close the program" },
    { 61409, "Minimize" },
    { 61410, "Help" },
    { 61411, "Tilt up" },
    { 61412, "Tilt down" },
    { 61413, "Pan left" },
    { 61414, "Pan right" },
    { 61415, "Stop" },
    { 61416, "Zoom in" },
    { 61417, "Zoom out" },
    { 61418, "Preset positions" },
    { 61469, "Password verification before remote viewing is off.\n\nIt is strongly recommended to verify the "
             "password before remote viewing. Do you want to switch the password verification on?" },
    { 61470, "The connect ID has not yet specified." },
    { 61479, "The specified TCP port number for Video Stream Server is not available now. Please choose another TCP port number." },
    { 61480, "The specified TCP port number for Web Server is not available now. Please choose another TCP port number." },
    { 61481, "The display screen dimension is required to be equal to or larger than 1024x768 pixels." },
};

struct NamedText {
    const char* name;
    int id;                // 0: no number of its own
    const char* fallback;  // the English text of a name without a number
};

constexpr NamedText kNamed[] = {
    { "IDS_MSG_STOP_RECORDING", 61215, nullptr },
    { "IDS_STRING_NORMAL_RECORD", 61236, nullptr },
    { "IDS_STRING_EVENT_RECORD", 61237, nullptr },
    { "IDS_STRING_SCHEDULE_NORMAL_RECORD", 61238, nullptr },
    { "IDS_STRING_SCHEDULE_EVENT_RECORD", 61239, nullptr },
    { "IDS_STRING_ORG_VIDEO", 0, "Original size" },
    { "IDS_STRING_LIVE", 0, "Live" },
    { "IDS_STRING_SNAP1", 0, "Snapshot" },
    { "IDS_MSG_PW_INCORRECT", 61206, nullptr },
    { "IDS_MSG_ERR_LOG_READ_COUNT", 0, "Fail to read the log count value in the log file!" },
    { "IDS_MSG_ERR_LOG_DELETE", 0, "Cannot delete the log file!" },
};

} // namespace

QString UiTexts::text(int id)
{
    for (const TableText& entry : kTable)
        if (entry.id == id)
            return QString::fromUtf8(entry.text);
    return QStringLiteral(" ");
}

QString UiTexts::textWithNumbers(int id, std::initializer_list<int> numbers)
{
    QString result = text(id);
    qsizetype from = 0;
    for (int number : numbers) {
        const qsizetype at = result.indexOf(QStringLiteral("%d"), from);
        if (at < 0)
            break;
        const QString digits = QString::number(number);
        result.replace(at, 2, digits);
        from = at + digits.size();
    }
    return result;
}

QString UiTexts::named(const char* name) const
{
    const QString key = QString::fromLatin1(name);
    if (!languageFile_.isEmpty()) {
        const std::string value = platform::getProfileString(languageFile_.toStdString(), "Vantry", key.toStdString(), " ");
        return QString::fromUtf8(value.c_str()).replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    }
    for (const NamedText& entry : kNamed) {
        if (key != QLatin1String(entry.name))
            continue;
        return entry.id != 0 ? text(entry.id) : QString::fromUtf8(entry.fallback);
    }
    return QStringLiteral(" ");
}

QString UiTexts::languageName(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::Chinese:
        // Traditional script, or a region that writes it, gives the traditional texts.
        if (locale.script() == QLocale::TraditionalHanScript || locale.territory() == QLocale::Taiwan
            || locale.territory() == QLocale::HongKong || locale.territory() == QLocale::Macao)
            return QStringLiteral("TChinese");
        return QStringLiteral("SChinese");
    case QLocale::German: return QStringLiteral("German");
    case QLocale::Greek: return QStringLiteral("Greek");
    case QLocale::Spanish: return QStringLiteral("Spanish");
    case QLocale::French: return QStringLiteral("French");
    case QLocale::Hungarian: return QStringLiteral("Hungarian");
    case QLocale::Italian: return QStringLiteral("Italian");
    case QLocale::Japanese: return QStringLiteral("Japanese");
    case QLocale::Polish: return QStringLiteral("Polish");
    case QLocale::Portuguese: return QStringLiteral("Portuguese");
    case QLocale::Slovak: return QStringLiteral("Slovak");
    case QLocale::Turkish: return QStringLiteral("Turkish");
    default: return QStringLiteral("English");
    }
}

void UiTexts::chooseLanguage(const QString& programFolder, const QLocale& locale)
{
    const QString path = programFolder + "/" + languageName(locale) + "ini";
    languageFile_ = QFileInfo(path).isFile() ? path : QString();
}

} // namespace vantry::station::ui
