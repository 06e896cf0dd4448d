// Takes the viewer's pictures for the documentation: the window showing live video of a
// camera with pan-tilt-zoom during a motion event while recording, and the connect dialog.
// The video comes from a small stream server inside this program (a moving test pattern
// encoded with our encoder), so no station is needed.
//
// usage: vyremote_screenshots OUTPUT_FOLDER
#include "codec/vx_encoder.h"
#include "server/stream_protocol.h"
#include "viewer/viewer_session.h"
#include "viewer_ui/connect_dialog.h"
#include "viewer_ui/main_window.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace vantry;

namespace {

constexpr int kWidth = 352;
constexpr int kHeight = 288;

// Serves one viewer: answers its requests and streams frames until stop.
class DemoServer {
public:
    DemoServer()
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listen_, 1);
        socklen_t length = sizeof address;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~DemoServer()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    uint16_t port() const { return port_; }

private:
    void send(int fd, uint32_t code, std::span<const uint8_t> payload = {})
    {
        const auto bytes = server::encodeMessage(code, static_cast<uint32_t>(::time(nullptr)), payload);
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    void run()
    {
        pollfd p { listen_, POLLIN, 0 };
        while (!stop_ && ::poll(&p, 1, 100) <= 0) {
        }
        if (stop_)
            return;
        const int fd = ::accept(listen_, nullptr, nullptr);
        send(fd, server::MSG_HELLO, server::encodeU32(server::kServerWordCameraStatus));
        codec::VxEncoderParams params;
        params.width = kWidth;
        params.height = kHeight;
        params.quantiser = 4;
        params.keyFrameInterval = 30;
        params.searchMode = codec::kVxSearchDiamond;
        codec::vx_encoder_open(&params);
        std::vector<uint8_t> picture(kWidth * kHeight * 3 / 2);
        std::vector<uint8_t> output(kWidth * kHeight * 2);
        server::RequestParser parser;
        bool streaming = false;
        int frame = 0;
        while (!stop_) {
            pollfd r { fd, POLLIN, 0 };
            if (::poll(&r, 1, 100) > 0) {
                uint8_t buffer[1024];
                const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                std::vector<server::Request> requests;
                parser.feed(std::span<const uint8_t>(buffer, static_cast<size_t>(got)), requests);
                for (const auto& request : requests) {
                    switch (request.code) {
                    case server::CMD_SELECT_CAMERA: send(fd, server::MSG_CAMERA_OK); break;
                    case server::CMD_ASK_PASSWORD: send(fd, server::MSG_PASSWORD_NEEDED, server::encodeU32(0)); break;
                    case server::CMD_SET_OPTIONS: send(fd, server::MSG_OPTIONS_OK); break;
                    case server::CMD_GET_CAMERA_STATUS: send(fd, server::MSG_CAMERA_STATUS, server::encodeU32(7)); break;
                    case server::CMD_EVENT_ONLY: send(fd, server::MSG_EVENT_ONLY_OK); break;
                    case server::CMD_GET_INFO:
                        send(fd, server::MSG_VIDEO_FORMAT, server::encodeVideoFormat(server::makeVx01Format(kWidth, kHeight)));
                        send(fd, server::MSG_SITE_NAME, server::encodeText("Harbour Office"));
                        send(fd, server::MSG_CAMERA_NAME, server::encodeText("Loading Bay"));
                        break;
                    case server::CMD_START_STREAM:
                        streaming = true;
                        send(fd, server::MSG_EVENT_ON);
                        break;
                    case server::CMD_KEY_FRAME: params.keyFrameRequest = 1; break;
                    default: break;
                    }
                }
            }
            if (!streaming)
                continue;
            paint(picture, frame++);
            codec::VxFramePlanes in;
            in.y = picture.data();
            in.u = in.y + kWidth * kHeight;
            in.v = in.u + kWidth * kHeight / 4;
            in.stride = kWidth;
            const int bytes = codec::vx_encode(&params, &in, output.data(), output.size());
            params.keyFrameRequest = 0;
            if (bytes > 0)
                send(fd, params.keyFlag ? server::MSG_KEY_FRAME : server::MSG_DELTA_FRAME,
                     std::span<const uint8_t>(output.data(), static_cast<size_t>(bytes)));
        }
        codec::vx_encoder_close(&params);
        ::close(fd);
    }
    // A sky, a ground and a moving box: something a camera might see.
    static void paint(std::vector<uint8_t>& planes, int frame)
    {
        uint8_t* y = planes.data();
        uint8_t* u = y + kWidth * kHeight;
        uint8_t* v = u + kWidth * kHeight / 4;
        const int boxX = 40 + (frame * 6) % (kWidth - 120);
        for (int row = 0; row < kHeight; ++row) {
            for (int col = 0; col < kWidth; ++col) {
                const bool sky = row < kHeight * 2 / 5;
                const bool box = col >= boxX && col < boxX + 64 && row >= 150 && row < 230;
                y[row * kWidth + col] = static_cast<uint8_t>(box ? 200 : sky ? 150 + row / 4 : 70 + (col + row) % 23);
            }
        }
        for (int row = 0; row < kHeight / 2; ++row) {
            for (int col = 0; col < kWidth / 2; ++col) {
                const bool sky = row < kHeight / 5;
                const bool box = col * 2 >= boxX && col * 2 < boxX + 64 && row * 2 >= 150 && row * 2 < 230;
                u[row * kWidth / 2 + col] = static_cast<uint8_t>(box ? 90 : sky ? 160 : 110);
                v[row * kWidth / 2 + col] = static_cast<uint8_t>(box ? 200 : sky ? 110 : 120);
            }
        }
    }

    int listen_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_ { false };
};

bool saveWindow(QWidget& widget, const QString& path)
{
    QPixmap shot;
    if (QScreen* screen = widget.screen(); screen && QGuiApplication::platformName() == "xcb")
        shot = screen->grabWindow(widget.winId());
    if (shot.isNull())
        shot = widget.grab();
    const bool ok = shot.save(path, "PNG");
    std::printf("%s %s\n", ok ? "saved" : "could not save", qPrintable(path));
    return ok;
}

void settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(output);
    const QString data = output + "/viewer-screenshot-data";
    QDir(data).removeRecursively();

    viewer::ViewerSession session(viewer::ViewerPaths { QCoreApplication::applicationDirPath().toStdString(), data.toStdString() });
    session.start();
    session.settings().minFreeSpaceMb = 300;
    session.link().recorder().setMinFreeSpace(300);
    viewer_ui::MainWindow window(session);
    window.show();
    settle(300);

    DemoServer server;
    if (!window.connectDirect("127.0.0.1", server.port(), 0)) {
        std::fprintf(stderr, "could not connect to the demo stream\n");
        return 1;
    }
    session.setRecordAllowed(true);
    settle(2500);
    bool ok = saveWindow(window, output + "/vyremote-live.png");

    session.settings().history = { "192.168.1.20:81", "station.example.lan:8081", "HARBOUR-OFFICE" };
    viewer_ui::ConnectDialog dialog(session.settings(), &window);
    dialog.show();
    settle(400);
    ok &= saveWindow(dialog, output + "/vyremote-connect.png");
    dialog.close();

    session.shutdown();
    QDir(data).removeRecursively();
    return ok ? 0 : 1;
}
