#pragma once

#include <QString>

class QWidget;

namespace vantry::station::ui {

// Message boxes of the station: every one carries the program title and is owned by the
// window that asks. Tests put a prompter of their own in its place.
class Prompter {
public:
    virtual ~Prompter() = default;
    // A message with an OK button.
    virtual void inform(QWidget* parent, int messageId, const QString& text) = 0;
    // A yes/no question; true for yes.
    virtual bool ask(QWidget* parent, int messageId, const QString& text) = 0;
};

class MessageBoxPrompter final : public Prompter {
public:
    void inform(QWidget* parent, int messageId, const QString& text) override;
    bool ask(QWidget* parent, int messageId, const QString& text) override;
};

// Where no one can see a window (the offscreen platform), messages go to standard error and
// questions are answered no, so that nothing waits for a click that cannot come.
class StderrPrompter final : public Prompter {
public:
    void inform(QWidget* parent, int messageId, const QString& text) override;
    bool ask(QWidget* parent, int messageId, const QString& text) override;
};

inline constexpr const char* kProgramTitle = "Vantry";

} // namespace vantry::station::ui
