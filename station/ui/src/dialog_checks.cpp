#include "station/ui/dialog_checks.h"

#include <QLineEdit>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantry::station::ui {

QString rangeText(int low, int high)
{
    return QStringLiteral("Please enter an integer between %1 and %2.").arg(low).arg(high);
}

Refusal checkRange(QLineEdit* field, int low, int high)
{
    bool ok = false;
    const qlonglong value = field->text().trimmed().toLongLong(&ok);
    if (ok && value >= low && value <= high)
        return {};
    return Refusal { 0, rangeText(low, high), field };
}

int fieldValue(const QLineEdit* field)
{
    return field->text().trimmed().toInt();
}

bool isTcpPortFree(int port)
{
    if (port < 1 || port > 65535)
        return false;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool free = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 5) == 0;
    ::close(fd);
    return free;
}

} // namespace vantry::station::ui
