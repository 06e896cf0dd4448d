#include "station/ui/skin.h"

#include "station/core/hub_messages.h"
#include "station/ui/ui_texts.h"

#include "platform/ini_profile.h"

#include <QFileInfo>
#include <QPainter>

namespace vantry::station::ui {

const std::array<ButtonDefinition, kButtonCount> kButtons = { {
    { "btn_screen_ch1_ch4", cmd::kLayoutAll },
    { "btn_screen_ch1", cmd::kLayoutCamera1 },
    { "btn_screen_ch2", cmd::kLayoutCamera1 + 1 },
    { "btn_screen_ch3", cmd::kLayoutCamera1 + 2 },
    { "btn_screen_ch4", cmd::kLayoutCamera4 },
    { "btn_screen_loop", cmd::kLoopDisplay },
    { "btn_screen_full", cmd::kFullScreen },
    { "btn_op_snap", cmd::kSnapshot },
    { "btn_op_pause_detection", cmd::kPauseDetection },
    { "btn_sys_search", cmd::kSearchRecords },
    { "btn_sys_preference", cmd::kPreferenceMenu },
    { "btn_sys_power", 0 },
    { "btn_sys_minimize", 0 },
    { "btn_sys_help", cmd::kHelp },
    { "btn_ptz_tilt_up", 32801 },
    { "btn_ptz_tilt_down", 32802 },
    { "btn_ptz_pan_left", 32803 },
    { "btn_ptz_pan_right", 32804 },
    { "btn_ptz_stop", 0 },
    { "btn_ptz_zoom_in", 32805 },
    { "btn_ptz_zoom_out", 32806 },
    { "btn_ptz_preset", 0 },
} };

namespace {

int readInt(const std::string& ini, const char* section, const std::string& key, int fallback)
{
    return platform::getProfileInt(ini, section, key, fallback);
}

QString readString(const std::string& ini, const char* section, const std::string& key, const char* fallback = "")
{
    return QString::fromStdString(platform::getProfileString(ini, section, key, fallback));
}

QImage loadPicture(const QString& folder, const QString& name)
{
    if (name.isEmpty())
        return {};
    QImage image(folder + "/" + name);
    return image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

QSize Skin::readWindowSize(const QString& folder)
{
    const std::string ini = (folder + "/ui.ini").toStdString();
    return QSize(readInt(ini, "background", "bg_w", 1024), readInt(ini, "background", "bg_h", 768));
}

bool Skin::isPalOrSecam() const
{
    return tvStandard.compare("pal", Qt::CaseInsensitive) == 0 || tvStandard.compare("secam", Qt::CaseInsensitive) == 0;
}

bool Skin::load(const QString& skinFolder, QString* error)
{
    folder = skinFolder;
    const std::string ini = (folder + "/ui.ini").toStdString();
    const auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    tvStandard = readString(ini, "tv standard", "type");
    size = readWindowSize(folder);
    background = loadPicture(folder, readString(ini, "background", "bg_main"));
    if (background.isNull())
        return fail(QStringLiteral("the skin's background picture is missing in %1").arg(folder));
    const char* cornerKeys[4] = { "bg_mask_left_top", "bg_mask_right_top", "bg_mask_left_bottom", "bg_mask_right_bottom" };
    for (int i = 0; i < 4; ++i) {
        corners[i] = loadPicture(folder, readString(ini, "background", cornerKeys[i]));
        if (corners[i].isNull())
            return fail(QStringLiteral("the skin's corner picture %1 is missing").arg(cornerKeys[i]));
        paintedCorners[i] = corners[i].convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < paintedCorners[i].height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(paintedCorners[i].scanLine(y));
            for (int x = 0; x < paintedCorners[i].width(); ++x)
                if ((row[x] & 0xFFFFFF) == 0xFF0000)
                    row[x] = 0;
        }
    }
    const QByteArray standard = (tvStandard.isEmpty() ? QStringLiteral("ntsc") : tvStandard).toLatin1();
    videoArea = QRect(readInt(ini, standard.constData(), "x", 29), readInt(ini, standard.constData(), "y", 71),
                      readInt(ini, standard.constData(), "w", 720), readInt(ini, standard.constData(), "h", 576));
    presetBox = QRect(readInt(ini, "preset", "x", 780), readInt(ini, "preset", "y", 609), readInt(ini, "preset", "w", 148),
                      readInt(ini, "preset", "h", 32));
    for (int i = 0; i < kButtonCount; ++i) {
        const char* section = kButtons[i].section;
        ButtonSkin& b = buttons[i];
        b = ButtonSkin {};
        if (readInt(ini, section, "show", 0) != 1)
            continue;
        b.picture = loadPicture(folder, readString(ini, section, "file"));
        if (b.picture.isNull() || b.picture.height() < 5)
            continue;
        b.shown = true;
        b.position = QPoint(readInt(ini, section, "x", 0), readInt(ini, section, "y", 0));
        const int type = readInt(ini, section, "type", 1);
        b.type = type == 2 ? ButtonType::Toggle : type == 3 ? ButtonType::Latch : ButtonType::Push;
    }
    defaultVideo = QSize(readInt(ini, "splitscreen", "defvideow", 360), readInt(ini, "splitscreen", "defvideoh", 288));
    splitArea = QRect(readInt(ini, "splitscreen", "x", 24), readInt(ini, "splitscreen", "y", 20),
                      readInt(ini, "splitscreen", "w", 728), readInt(ini, "splitscreen", "h", 632));
    const char* lightKeys[6] = { "file_light_off", "file_light_on", "file_light_red", "file_light_lred",
                                 "file_light_on_ptz", "file_light_on_standby" };
    for (int i = 0; i < 6; ++i)
        lights[i] = loadPicture(folder, readString(ini, "status_Panel", lightKeys[i]));
    statusBackground = loadPicture(folder, readString(ini, "status_Panel", "file_bg"));
    statusPosition = QPoint(readInt(ini, "status_panel", "bg_x", 784), readInt(ini, "status_panel", "bg_y", 148));
    const char* kinds[4] = { "video", "audio", "detect", "record" };
    for (int camera = 0; camera < 4; ++camera)
        for (int kind = 0; kind < 4; ++kind) {
            const std::string stem = std::string(kinds[kind]) + "_" + std::to_string(camera + 1);
            lightPositions[camera][kind] =
                QPoint(readInt(ini, "status_panel", stem + "_x", 0), readInt(ini, "status_panel", stem + "_y", 0));
        }
    timePosition = QPoint(readInt(ini, "time_panel", "x", 23), readInt(ini, "time_panel", "y", 672));
    timeBackground = loadPicture(folder, readString(ini, "time_panel", "file", "bg_time_panel.bmp"));
    timeColour = QColor(readInt(ini, "time_panel", "r", 0) & 255, readInt(ini, "time_panel", "g", 196) & 255,
                        readInt(ini, "time_panel", "b", 196) & 255);
    const char* icons[3] = { "Icon_Record.bmp", "Icon_Motion.bmp", "Icon_Motion1.bmp" };
    for (int i = 0; i < 3; ++i)
        captionIcons[i] = loadPicture(folder, icons[i]);
    return true;
}

QRegion regionWithoutPureRed(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb red = qRgb(255, 0, 0);
    QRegion region;
    std::vector<QRect> rects;
    const auto flush = [&] {
        // Combined a batch at a time: a region grown one rectangle at a time is slow.
        QRegion batch;
        batch.setRects(rects.data(), static_cast<int>(rects.size()));
        region += batch;
        rects.clear();
    };
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < image.width()) {
            while (x < image.width() && (row[x] & 0xFFFFFF) == (red & 0xFFFFFF))
                ++x;
            const int start = x;
            while (x < image.width() && (row[x] & 0xFFFFFF) != (red & 0xFFFFFF))
                ++x;
            if (x > start)
                rects.emplace_back(start, y, x - start, 1);
            if (rects.size() >= 2000)
                flush();
        }
    }
    flush();
    return region;
}

QRegion windowRegion(const QSize& size, const std::array<QImage, 4>& corners)
{
    QImage shape(size, QImage::Format_RGB32);
    shape.fill(Qt::black);
    QPainter painter(&shape);
    painter.drawImage(QPoint(0, 0), corners[0]);
    painter.drawImage(QPoint(size.width() - corners[1].width(), 0), corners[1]);
    painter.drawImage(QPoint(0, size.height() - corners[2].height()), corners[2]);
    painter.drawImage(QPoint(size.width() - corners[3].width(), size.height() - corners[3].height()), corners[3]);
    painter.end();
    return regionWithoutPureRed(shape);
}

int checkScreenSize(const QSize& screen, const QSize& window)
{
    return screen.width() < window.width() || screen.height() < window.height() ? text_ids::kScreenTooSmall : 0;
}

} // namespace vantry::station::ui
