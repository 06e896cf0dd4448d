// The viewer's user-visible texts: a string table by number with the English texts, and the
// names under which a language file may give translations.
#pragma once

#include <string>
#include <string_view>

namespace vantry::viewer {

enum class ViewerText : int {
    InvalidVersion = 61200,
    CameraUnavailable = 61201,
    NotEnoughSpace = 61202,
    PasswordIncorrect = 61203,
    LookupFailed = 61204,
    CannotConnect = 61206,
    HelpMissing = 61234,
    TipCamera1 = 61239,
    TipCamera2 = 61240,
    TipCamera3 = 61241,
    TipCamera4 = 61242,
    TipPanLeft = 61243,
    TipPanRight = 61244,
    TipTiltUp = 61245,
    TipTiltDown = 61246,
    TipZoomIn = 61247,
    TipZoomOut = 61248,
    TipSearch = 61250,
    TipSnap = 61251,
    TipRecord = 61252,
    TipConnect = 61253,
    TipClose = 61254,
    TipRestore = 61255,
    TipMinimize = 61256,
    TipShowMenu = 61257,
    ProgramTitle = 61260,
};

// The English text of a string-table entry.
std::string_view englishText(ViewerText id);
// The name a language file knows the text by (IDS_...), or empty.
std::string_view textName(ViewerText id);

// Texts for the user: the language file's entry (program folder + language name + "ini",
// section "Vantry") when it has one, else the English text.
class ViewerStrings {
public:
    // languageName: "English", "German", ... from the locale (see languageNameForLocale).
    void load(const std::string& programFolder, const std::string& languageName);
    std::string text(ViewerText id) const;

private:
    std::string languageFile_;
};

// The language name for a locale name such as "de_DE.UTF-8" or "zh_TW".
std::string languageNameForLocale(std::string_view locale);

} // namespace vantry::viewer
