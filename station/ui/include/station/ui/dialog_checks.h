#pragma once

#include <QString>

class QLineEdit;
class QWidget;

namespace vantry::station::ui {

// Why a dialog stays open: the message (its number, 0 for the range check's text) and the
// field that gets the focus.
struct Refusal {
    int messageId = 0;
    QString text;
    QWidget* focus = nullptr;
    bool refused() const { return messageId != 0 || !text.isEmpty(); }
    explicit operator bool() const { return refused(); }
};

// The standard range check of a numeric field: the value must be an integer in low..high.
Refusal checkRange(QLineEdit* field, int low, int high);
QString rangeText(int low, int high);

// A field's value; the caller has checked its range.
int fieldValue(const QLineEdit* field);

// True when a TCP stream socket can bind this port on every local address and listen with a
// backlog of 5; the socket is closed again. Ports outside 1..65535 are never free.
bool isTcpPortFree(int port);

} // namespace vantry::station::ui
