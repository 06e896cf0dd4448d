// The viewer without its window: settings, the connection log, the link, the recorder and its
// index, the alarm, reconnection and the commands of the main window. Lives on the Qt main
// thread; the window shows what it reports through signals and asks the user what its prompts
// ask. Tests drive it headless the same way.
#pragma once

#include "viewer/alarm_sound.h"
#include "viewer/connection_log.h"
#include "viewer/connection_lookup.h"
#include "viewer/remote_link.h"
#include "viewer/viewer_settings.h"
#include "viewer/viewer_texts.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace vantry::viewer {

// Messages of the record player that the viewer answers.
inline constexpr uint32_t kMsgSaveIndex = 33781;    // save the index, answer kMsgIndexSaved
inline constexpr uint32_t kMsgIndexSaved = 33782;
inline constexpr uint32_t kMsgRecordDeleted = 33783; // wParam: a time inside the record
inline constexpr uint32_t kMsgDayDeleted = 33784;    // wParam: a time inside the day
inline constexpr uint32_t kMsgAllDeleted = 33785;

inline constexpr int kReconnectIntervalMs = 5000;

struct ViewerPaths {
    std::string programFolder;
    std::string dataFolder;
};

class ViewerSession : public QObject {
    Q_OBJECT

public:
    using PasswordPrompt = std::function<std::optional<std::string>()>;
    using QuestionPrompt = std::function<bool(const std::string& text)>;
    using MessageSink = std::function<void(const std::string& text)>;

    explicit ViewerSession(ViewerPaths paths, QObject* parent = nullptr);
    ~ViewerSession() override;

    // Prepares the data folder, reads the settings, opens the log and the record index, and
    // locks the viewer when a lock password is set.
    void start();
    // Saves the settings and the index; closes the connection.
    void shutdown();

    // The window's ways of asking the user; without them a password request ends the
    // connection and a question is answered No.
    void setPasswordPrompt(PasswordPrompt prompt) { passwordPrompt_ = std::move(prompt); }
    void setQuestionPrompt(QuestionPrompt prompt) { questionPrompt_ = std::move(prompt); }
    void setMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }

    ViewerSettings& settings() { return settings_; }
    const ViewerSettings& settings() const { return settings_; }
    bool saveSettings();
    const ViewerPaths& paths() const { return paths_; }
    std::string settingsPath() const { return paths_.dataFolder + "/vantry.ini"; }
    std::string logPath() const { return paths_.dataFolder + "/vyremote.Log"; }
    RemoteLink& link() { return link_; }
    const ViewerStrings& strings() const { return strings_; }

    // Connects to host:port, camera 0..3, with the settings' stream options. The window's
    // connect command; turns reconnection off. 1 / 0 (the window shows "Cannot connect").
    int connectTo(const std::string& host, uint16_t port, int camera);
    // Resolves a connection ID through the registration server; nullopt on failure.
    std::optional<ServerAddress> lookup(const std::string& id) const;
    // Keeps trying the last connect every five seconds (a viewer started by the system
    // before its station must still get there).
    void retryLater();
    void disconnectCommand();
    // Switch to Camera 1..4 (index 0..3). 1 / 0.
    int switchCamera(int camera);
    void ptz(uint32_t command);
    void setRecordAllowed(bool allowed);
    bool recordAllowed() { return link_.recorder().allowed(); }
    void toggleEventOnly();
    // New preferences from the dialog: storage, file length, record type, timeout.
    void applyPreferences(const ViewerSettings& updated);

    // The viewer lock.
    bool locked() const { return locked_; }
    bool showVideo() const { return !locked_ || !hideVideoWhileLocked_; }
    // Unlocks when password matches the lock password. True when unlocked afterwards.
    bool unlock(const std::string& password);
    // "Logout": locks an unlocked viewer and hides the video.
    void lock();

    // The player's index messages. Returns the message's result.
    int handlePlayerMessage(uint32_t msg, uint32_t wParam);

    bool reconnecting() const { return reconnectOn_; }
    int statusIcon(int icon) const { return icons_.at(static_cast<size_t>(icon)); }
    std::string windowTitle() const;
    // The camera the camera buttons mark; -1 when none is shown.
    int markedCamera() const { return markedCamera_; }
    bool cameraButtonsShown() const;

    // Tests: a shorter reconnection interval.
    void setReconnectIntervalMs(int ms) { reconnectIntervalMs_ = ms; }

signals:
    void statusIconChanged(int icon, int state);
    void titleChanged(QString title);
    void pictureUpdated();
    void fitToPicture();
    void buttonsChanged();
    void recordAllowedChanged(bool allowed);
    void raiseRequested();
    void connectionChanged(bool connected);
    void lockChanged(bool locked);

private:
    void onLinkEvent(const LinkEvent& event);
    void setIcon(int icon, int state);
    void endLink(bool reconnect);
    void reconnectTick();
    void applyStreamOptions();
    void show(ViewerText text);

    ViewerPaths paths_;
    ViewerSettings settings_;
    ViewerStrings strings_;
    ConnectionLog log_;
    RemoteLink link_;
    AlarmSound alarm_;
    QTimer reconnectTimer_;
    std::thread reconnectWorker_;
    std::atomic<bool> reconnectBusy_ { false };
    bool reconnectOn_ = false;
    int reconnectIntervalMs_ = kReconnectIntervalMs;
    std::array<int, 5> icons_ {};
    std::atomic<bool> dataPending_ { false };
    std::atomic<bool> picturePending_ { false };
    bool locked_ = false;
    bool hideVideoWhileLocked_ = false;
    int markedCamera_ = -1;
    bool switchedCamera_ = false;
    PasswordPrompt passwordPrompt_;
    QuestionPrompt questionPrompt_;
    MessageSink messageSink_;
};

} // namespace vantry::viewer
