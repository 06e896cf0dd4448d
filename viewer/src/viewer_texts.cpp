#include "viewer/viewer_texts.h"

#include "platform/ini_profile.h"

#include <filesystem>

namespace vantry::viewer {

namespace {

struct TextEntry {
    ViewerText id;
    const char* name;
    const char* english;
};

constexpr TextEntry kTexts[] = {
    { ViewerText::InvalidVersion, "IDS_MSG_INVALID_VERSION", "The Vantry that you are connecting to is not a valid version." },
    { ViewerText::CameraUnavailable, "IDS_MSG_CAMERA_UNAVAILABLE", "The camera video of Vantry main program is not available." },
    { ViewerText::NotEnoughSpace, "IDS_MSG_NO_SPACE", "The free storage space is not enough!  Please remove some unused data from the storage." },
    { ViewerText::PasswordIncorrect, "IDS_MSG_PW_INCORRECT", "Password is incorrect!\n\n Do you want to try again?" },
    { ViewerText::LookupFailed, "IDS_MSG_ID_LOOKUP", "The ID is not registered or the registration server is not reachable." },
    { ViewerText::CannotConnect, "IDS_MSG_CANNOT_CONNECT", "Cannot connect to Vantry." },
    { ViewerText::HelpMissing, "IDS_MSG_NO_HELP",
      "Cannot display the help file!\n\nNo program for PDF documents is installed. Please install the latest version "
      "of a PDF reader from your distribution's software repository (for example the package evince or okular)." },
    { ViewerText::TipCamera1, "IDS_TIP_CAMERA1", "Switch to display the video of camera 1" },
    { ViewerText::TipCamera2, "IDS_TIP_CAMERA2", "Switch to display the video of camera 2" },
    { ViewerText::TipCamera3, "IDS_TIP_CAMERA3", "Switch to display the video of camera 3" },
    { ViewerText::TipCamera4, "IDS_TIP_CAMERA4", "Switch to display the video of camera 4" },
    { ViewerText::TipPanLeft, "IDS_TIP_PAN_LEFT", "Pan left" },
    { ViewerText::TipPanRight, "IDS_TIP_PAN_RIGHT", "Pan right" },
    { ViewerText::TipTiltUp, "IDS_TIP_TILT_UP", "Tilt up" },
    { ViewerText::TipTiltDown, "IDS_TIP_TILT_DOWN", "Tilt down" },
    { ViewerText::TipZoomIn, "IDS_TIP_ZOOM_IN", "Zoom in" },
    { ViewerText::TipZoomOut, "IDS_TIP_ZOOM_OUT", "Zoom out" },
    { ViewerText::TipSearch, "IDS_MSG_SEARCH", "Search and play video records." },
    { ViewerText::TipSnap, "IDS_MSG_SNAP", "Take a video frame snapshot." },
    { ViewerText::TipRecord, "IDS_MSG_RECORD", "Record video data" },
    { ViewerText::TipConnect, "IDS_MSG_CONNECT", "Connect/disconnect to Vantry main program." },
    { ViewerText::TipClose, "IDS_MSG_CLOSE", "Close the program." },
    { ViewerText::TipRestore, "IDS_MSG_RESTORE", "Restore to source video size." },
    { ViewerText::TipMinimize, "IDS_MSG_MINIMIZE", "Minimize the program." },
    { ViewerText::TipShowMenu, "IDS_MSG_SHOW_MENU", "Show/hide menu and status bar." },
    { ViewerText::ProgramTitle, "IDS_APP_TITLE", "Varore 2 Zeredo" },
};

const TextEntry* find(ViewerText id)
{
    for (const TextEntry& entry : kTexts) {
        if (entry.id == id)
            return &entry;
    }
    return nullptr;
}

} // namespace

std::string_view englishText(ViewerText id)
{
    const TextEntry* entry = find(id);
    return entry ? entry->english : "";
}

std::string_view textName(ViewerText id)
{
    const TextEntry* entry = find(id);
    return entry ? entry->name : "";
}

void ViewerStrings::load(const std::string& programFolder, const std::string& languageName)
{
    languageFile_.clear();
    const std::string path = programFolder + "/" + languageName + "ini";
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec))
        languageFile_ = path;
}

std::string ViewerStrings::text(ViewerText id) const
{
    const std::string_view name = textName(id);
    if (!languageFile_.empty() && !name.empty()) {
        const std::string translated = platform::getProfileString(languageFile_, "Vantry", name, "");
        if (!translated.empty())
            return translated;
    }
    return std::string(englishText(id));
}

std::string languageNameForLocale(std::string_view locale)
{
    struct Mapping {
        const char* prefix;
        const char* name;
    };
    constexpr Mapping kLanguages[] = {
        { "zh_TW", "TChinese" }, { "zh_HK", "TChinese" }, { "zh", "SChinese" },     { "fr", "French" },
        { "de", "German" },      { "ja", "Japanese" },    { "es", "Spanish" },      { "it", "Italian" },
        { "pl", "Polish" },      { "tr", "Turkish" },     { "el", "Greek" },        { "pt", "Portuguese" },
        { "hu", "Hungarian" },   { "sk", "Slovak" },
    };
    for (const Mapping& mapping : kLanguages) {
        if (locale.substr(0, std::string_view(mapping.prefix).size()) == mapping.prefix)
            return mapping.name;
    }
    return "English";
}

} // namespace vantry::viewer
