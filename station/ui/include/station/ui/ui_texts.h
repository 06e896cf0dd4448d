#pragma once

#include <QLocale>
#include <QString>

#include <initializer_list>

namespace vantry::station::ui {

// The station's user-visible texts: a string table by number, and the texts the station asks
// for by name, which a language file beside the program may replace.
class UiTexts {
public:
    UiTexts() = default;

    // Picks the language from the locale and uses programFolder/<Language>ini when it exists.
    void chooseLanguage(const QString& programFolder, const QLocale& locale);
    // Uses this language file (empty: the string table only).
    void setLanguageFile(const QString& path) { languageFile_ = path; }
    const QString& languageFile() const { return languageFile_; }

    // The string table; an unknown number gives a single space.
    static QString text(int id);
    // The text with each "%d" filled by the next number, in order.
    static QString textWithNumbers(int id, std::initializer_list<int> numbers);
    // A text asked for by name: from the language file's section "Vantry" when one is in use
    // (a missing key gives a single space), else from the string table.
    QString named(const char* name) const;

    // "TChinese", "SChinese", "German", ... or "English".
    static QString languageName(const QLocale& locale);

private:
    QString languageFile_;
};

// Message numbers the window and its dialogs show.
namespace text_ids {
inline constexpr int kSocketsFailed = 104;
inline constexpr int kPasswordIncorrect = 61206;
inline constexpr int kCannotRecordEvent = 61209;
inline constexpr int kMaskSize = 61214;
inline constexpr int kStopRecording = 61215;
inline constexpr int kStorageShort = 61216;
inline constexpr int kEventRecordingKeepsDetection = 61218;
inline constexpr int kNormalRecord = 61236;
inline constexpr int kEventRecord = 61237;
inline constexpr int kScheduledNormalRecord = 61238;
inline constexpr int kScheduledEventRecord = 61239;
inline constexpr int kNotInstalled = 61264;
inline constexpr int kWebServerPort = 61266;
inline constexpr int kConnectionLimit = 61302;
inline constexpr int kHelpMissing = 61337;
inline constexpr int kVideoWidth = 61340;
inline constexpr int kColourSpace = 61345;
inline constexpr int kCloseQuestion = 61356;
inline constexpr int kNone = 61358;
inline constexpr int kSameVideoDevice = 61359;
inline constexpr int kSameAudioDevice = 61360;
inline constexpr int kNoVideoDevice = 61361;
inline constexpr int kLoopNeedsTwo = 61362;
inline constexpr int kNoCameraConnected = 61385;
inline constexpr int kVideoHidden = 61391;
inline constexpr int kEnterPasswordFirst = 61393;
inline constexpr int kNoCameraDetecting = 61394;
inline constexpr int kFirstTooltip = 61397; // + button position
inline constexpr int kPasswordCheckOff = 61469;
inline constexpr int kConnectIdMissing = 61470;
inline constexpr int kStreamPortTaken = 61479;
inline constexpr int kWebPortTaken = 61480;
inline constexpr int kScreenTooSmall = 61481;
} // namespace text_ids

} // namespace vantry::station::ui
