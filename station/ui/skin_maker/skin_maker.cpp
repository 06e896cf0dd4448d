// vantry_skin_maker: draws the station's skin "ui_s" (pictures and ui.ini) into a folder.
// The repository keeps this drawing code instead of the pictures; the build runs it.
// Usage: vantry_skin_maker <folder>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kCorner = 18;

const QColor kBackTop(32, 37, 46);
const QColor kBackBottom(18, 21, 27);
const QColor kEdge(70, 80, 98);
const QColor kAccent(0, 196, 196);
const QColor kInk(220, 228, 236);
const QColor kPanel(24, 28, 35);

// Every picture in one place: the ini text is written from the same numbers.
struct ButtonLayout {
    const char* section;
    const char* file;
    int x;
    int y;
    int w;
    int h;
    int type;
    std::function<void(QPainter&, const QRectF&, const QColor&)> glyph;
    const char* label;
};

QImage newImage(int w, int h, const QColor& fill)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

bool save(const QImage& image, const QString& folder, const QString& name)
{
    if (!image.convertToFormat(QImage::Format_RGB888).save(folder + "/" + name, "BMP")) {
        std::fprintf(stderr, "skin maker: cannot write %s\n", qPrintable(name));
        return false;
    }
    return true;
}

QFont uiFont(int pixelSize, bool bold = false)
{
    QFont font("DejaVu Sans");
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// ----- glyphs -------------------------------------------------------------------------

void glyphGrid(QPainter& p, const QRectF& r, const QColor& c)
{
    const qreal s = r.width() / 2 - 2;
    for (int i = 0; i < 4; ++i)
        p.fillRect(QRectF(r.left() + (i % 2) * (s + 4), r.top() + (i / 2) * (s + 4), s, s), c);
}

std::function<void(QPainter&, const QRectF&, const QColor&)> glyphDigit(int n)
{
    return [n](QPainter& p, const QRectF& r, const QColor& c) {
        p.setPen(QPen(c, 2));
        p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 3, 3);
        p.setFont(uiFont(static_cast<int>(r.height() * 0.7), true));
        p.drawText(r, Qt::AlignCenter, QString::number(n));
    };
}

void glyphLoop(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(QPen(c, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(r.adjusted(2, 2, -2, -2), 30 * 16, 300 * 16);
    const QPointF tip(r.right() - 3, r.center().y() - r.height() * 0.22);
    p.setBrush(c);
    p.drawPolygon(QPolygonF({ tip + QPointF(-6, -1), tip + QPointF(3, -5), tip + QPointF(2, 4) }));
}

void glyphFull(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(QPen(c, 2.5, Qt::SolidLine, Qt::SquareCap));
    const qreal k = r.width() * 0.35;
    const QPointF corners[4] = { r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft() };
    const QPointF dx[4] = { { k, 0 }, { -k, 0 }, { -k, 0 }, { k, 0 } };
    const QPointF dy[4] = { { 0, k }, { 0, k }, { 0, -k }, { 0, -k } };
    for (int i = 0; i < 4; ++i) {
        p.drawLine(corners[i], corners[i] + dx[i]);
        p.drawLine(corners[i], corners[i] + dy[i]);
    }
}

void glyphSnap(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(QPen(c, 2));
    const QRectF body = r.adjusted(0, r.height() * 0.25, 0, -r.height() * 0.05);
    p.drawRoundedRect(body, 3, 3);
    p.drawEllipse(body.center(), body.height() * 0.3, body.height() * 0.3);
    p.fillRect(QRectF(r.left() + r.width() * 0.3, r.top() + r.height() * 0.1, r.width() * 0.3, r.height() * 0.15), c);
}

void glyphPause(QPainter& p, const QRectF& r, const QColor& c)
{
    const qreal w = r.width() * 0.28;
    p.fillRect(QRectF(r.left() + r.width() * 0.12, r.top(), w, r.height()), c);
    p.fillRect(QRectF(r.right() - r.width() * 0.12 - w, r.top(), w, r.height()), c);
}

void glyphSearch(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
    const QRectF lens(r.left(), r.top(), r.width() * 0.65, r.height() * 0.65);
    p.drawEllipse(lens);
    p.drawLine(lens.center() + QPointF(lens.width() * 0.36, lens.height() * 0.36), r.bottomRight());
}

void glyphGear(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
    const QPointF m = r.center();
    const qreal outer = r.width() / 2;
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(m);
        p.rotate(i * 45);
        p.drawLine(QPointF(0, outer * 0.6), QPointF(0, outer));
        p.restore();
    }
    p.setPen(QPen(c, 2.5));
    p.drawEllipse(m, outer * 0.55, outer * 0.55);
    p.drawEllipse(m, outer * 0.2, outer * 0.2);
}

void glyphPower(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(QPen(c, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(r.adjusted(1, 2, -1, 0), 120 * 16, 300 * 16);
    p.drawLine(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.center().y()));
}

void glyphMinimize(QPainter& p, const QRectF& r, const QColor& c)
{
    p.fillRect(QRectF(r.left(), r.bottom() - 3, r.width(), 3), c);
}

void glyphHelp(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(c);
    p.setFont(uiFont(static_cast<int>(r.height()), true));
    p.drawText(r, Qt::AlignCenter, "?");
}

std::function<void(QPainter&, const QRectF&, const QColor&)> glyphArrow(int angle)
{
    return [angle](QPainter& p, const QRectF& r, const QColor& c) {
        p.save();
        p.translate(r.center());
        p.rotate(angle);
        const qreal s = r.width() / 2;
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawPolygon(QPolygonF({ QPointF(0, -s), QPointF(s * 0.9, s * 0.5), QPointF(-s * 0.9, s * 0.5) }));
        p.restore();
    };
}

void glyphStop(QPainter& p, const QRectF& r, const QColor& c)
{
    p.fillRect(r.adjusted(3, 3, -3, -3), c);
}

std::function<void(QPainter&, const QRectF&, const QColor&)> glyphText(const char* text)
{
    return [text](QPainter& p, const QRectF& r, const QColor& c) {
        p.setPen(c);
        p.setFont(uiFont(static_cast<int>(r.height() * 0.9), true));
        p.drawText(r, Qt::AlignCenter, text);
    };
}

void glyphPreset(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(QPen(c, 2));
    for (int i = 0; i < 3; ++i) {
        const qreal y = r.top() + r.height() * (0.2 + 0.3 * i);
        p.drawLine(QPointF(r.left() + 6, y), QPointF(r.right(), y));
        p.setBrush(c);
        p.drawEllipse(QPointF(r.left() + 1.5, y), 1.5, 1.5);
    }
}

// ----- pictures -----------------------------------------------------------------------

// Five frames stacked: disabled, on + hover, pressed or on, hover, normal.
QImage buttonPicture(const ButtonLayout& layout)
{
    QImage image = newImage(layout.w, layout.h * 5, kPanel);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    struct Look {
        QColor face;
        QColor edge;
        QColor ink;
    };
    const Look looks[5] = {
        { QColor(34, 38, 46), QColor(48, 54, 64), QColor(80, 86, 96) },    // disabled
        { QColor(0, 150, 150), QColor(120, 240, 240), QColor(255, 255, 255) }, // on + hover
        { QColor(0, 118, 122), QColor(0, 196, 196), QColor(235, 255, 255) },  // pressed or on
        { QColor(58, 67, 82), QColor(0, 196, 196), QColor(255, 255, 255) },  // hover
        { QColor(44, 51, 63), QColor(74, 84, 102), kInk },                  // normal
    };
    for (int f = 0; f < 5; ++f) {
        const QRectF cell(0.5, f * layout.h + 0.5, layout.w - 1.0, layout.h - 1.0);
        QLinearGradient g(cell.topLeft(), cell.bottomLeft());
        g.setColorAt(0, looks[f].face.lighter(118));
        g.setColorAt(1, looks[f].face);
        p.setPen(QPen(looks[f].edge, 1));
        p.setBrush(g);
        p.drawRoundedRect(cell, 6, 6);
        const bool labelled = layout.label && *layout.label;
        const qreal side = std::min(layout.w, layout.h) * (labelled ? 0.42 : 0.5);
        const QRectF glyphBox(cell.center().x() - side / 2,
                              labelled ? cell.top() + layout.h * 0.14 : cell.center().y() - side / 2, side, side);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::NoBrush);
        layout.glyph(p, glyphBox, looks[f].ink);
        if (labelled) {
            p.setPen(looks[f].ink);
            p.setFont(uiFont(10));
            p.drawText(QRectF(cell.left(), cell.bottom() - layout.h * 0.36, cell.width(), layout.h * 0.3),
                       Qt::AlignCenter, layout.label);
        }
    }
    return image;
}

QImage lightPicture(const QColor& colour, bool lit)
{
    QImage image = newImage(14, 14, kPanel);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(QPointF(5, 5), 8);
    g.setColorAt(0, lit ? colour.lighter(160) : colour.lighter(120));
    g.setColorAt(1, colour);
    p.setPen(QPen(QColor(12, 14, 18), 1));
    p.setBrush(g);
    p.drawEllipse(QRectF(1, 1, 12, 12));
    return image;
}

// A corner: pure red outside the rounded edge, so the window region leaves it out.
QImage cornerPicture(const QImage& background, int x, int y, bool right, bool bottom)
{
    QImage image = background.copy(x, y, kCorner, kCorner).convertToFormat(QImage::Format_RGB32);
    const QPointF centre(right ? 0.0 : kCorner, bottom ? 0.0 : kCorner);
    for (int py = 0; py < kCorner; ++py)
        for (int px = 0; px < kCorner; ++px) {
            const qreal dx = px + 0.5 - centre.x();
            const qreal dy = py + 0.5 - centre.y();
            const qreal d2 = dx * dx + dy * dy;
            if (d2 > kCorner * kCorner)
                image.setPixel(px, py, qRgb(255, 0, 0));
            else if (d2 > (kCorner - 1.5) * (kCorner - 1.5))
                image.setPixel(px, py, kEdge.rgb());
        }
    return image;
}

QImage backgroundPicture()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, kHeight);
    g.setColorAt(0, kBackTop);
    g.setColorAt(1, kBackBottom);
    p.fillRect(image.rect(), g);
    p.setPen(QPen(kEdge, 1));
    p.drawRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1));
    // The video well.
    p.setPen(QPen(QColor(48, 55, 68), 1));
    p.setBrush(QColor(10, 12, 16));
    p.drawRoundedRect(QRectF(16.5, 12.5, 744, 648), 8, 8);
    // The side column.
    p.setBrush(QColor(26, 30, 38));
    p.drawRoundedRect(QRectF(772.5, 12.5, 238, 648), 8, 8);
    // The bottom bar.
    p.drawRoundedRect(QRectF(16.5, 668.5, 994, 86), 8, 8);
    // Name and section titles.
    p.setPen(kAccent);
    p.setFont(uiFont(22, true));
    p.drawText(QRectF(786, 22, 120, 30), Qt::AlignLeft | Qt::AlignVCenter, "VANTRY");
    p.setPen(QColor(130, 142, 160));
    p.setFont(uiFont(11));
    p.drawText(QRectF(786, 50, 200, 16), Qt::AlignLeft, "Video surveillance station");
    p.setFont(uiFont(11, true));
    p.drawText(QRectF(786, 66, 200, 14), Qt::AlignLeft, "VIEW");
    p.drawText(QRectF(786, 132, 200, 14), Qt::AlignLeft, "STATUS");
    p.drawText(QRectF(786, 316, 200, 14), Qt::AlignLeft, "DISPLAY");
    p.drawText(QRectF(786, 400, 200, 14), Qt::AlignLeft, "PAN / TILT / ZOOM");
    return image;
}

QImage statusPanelPicture()
{
    QImage image = newImage(216, 160, kPanel);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(48, 55, 68), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(0.5, 0.5, 215, 159), 6, 6);
    p.setFont(uiFont(10, true));
    p.setPen(QColor(130, 142, 160));
    const char* heads[4] = { "Video", "Audio", "Motion", "Rec" };
    for (int i = 0; i < 4; ++i)
        p.drawText(QRectF(72 + i * 36, 8, 36, 16), Qt::AlignCenter, heads[i]);
    p.setFont(uiFont(12));
    p.setPen(kInk);
    for (int i = 0; i < 4; ++i)
        p.drawText(QRectF(10, 32 + i * 30, 64, 20), Qt::AlignLeft | Qt::AlignVCenter, QString("Camera %1").arg(i + 1));
    return image;
}

QImage timePanelPicture()
{
    QImage image = newImage(250, 70, QColor(26, 30, 38));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 110, 116), 1));
    p.setBrush(QColor(12, 16, 20));
    p.drawRoundedRect(QRectF(0.5, 0.5, 249, 69), 6, 6);
    return image;
}

// The start-up picture, laid beside the programs (one folder above the skin).
QImage splashPicture()
{
    QImage image(480, 240, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 240);
    g.setColorAt(0, kBackTop);
    g.setColorAt(1, kBackBottom);
    p.fillRect(image.rect(), g);
    p.setPen(QPen(kEdge, 1));
    p.drawRect(QRectF(0.5, 0.5, 479, 239));
    p.setPen(kAccent);
    p.setFont(uiFont(48, true));
    p.drawText(QRectF(0, 50, 480, 70), Qt::AlignCenter, "VANTRY");
    p.setPen(kInk);
    p.setFont(uiFont(16));
    p.drawText(QRectF(0, 125, 480, 30), Qt::AlignCenter, "Video surveillance station");
    p.setPen(QColor(130, 142, 160));
    p.setFont(uiFont(12));
    p.drawText(QRectF(0, 190, 480, 24), Qt::AlignCenter, "Starting the cameras...");
    return image;
}

QImage captionIcon(const QColor& colour, bool ring)
{
    QImage image = newImage(16, 16, QColor(51, 51, 51));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (ring) {
        p.setPen(QPen(colour, 2));
        p.drawArc(QRectF(1, 1, 14, 14), 300 * 16, 120 * 16);
        p.drawArc(QRectF(1, 1, 14, 14), 120 * 16, 120 * 16);
        p.setBrush(colour);
        p.drawEllipse(QRectF(5, 5, 6, 6));
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QRectF(2, 2, 12, 12));
    }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantry_skin_maker <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "skin maker: cannot create %s\n", argv[1]);
        return 1;
    }

    const std::vector<ButtonLayout> buttons = {
        { "btn_screen_ch1_ch4", "btn_all.bmp", 786, 84, 38, 38, 3, glyphGrid, "" },
        { "btn_screen_ch1", "btn_ch1.bmp", 830, 84, 38, 38, 3, glyphDigit(1), "" },
        { "btn_screen_ch2", "btn_ch2.bmp", 874, 84, 38, 38, 3, glyphDigit(2), "" },
        { "btn_screen_ch3", "btn_ch3.bmp", 918, 84, 38, 38, 3, glyphDigit(3), "" },
        { "btn_screen_ch4", "btn_ch4.bmp", 962, 84, 38, 38, 3, glyphDigit(4), "" },
        { "btn_screen_loop", "btn_loop.bmp", 786, 336, 104, 48, 2, glyphLoop, "Loop" },
        { "btn_screen_full", "btn_full.bmp", 896, 336, 104, 48, 1, glyphFull, "Full screen" },
        { "btn_op_snap", "btn_snap.bmp", 290, 678, 72, 68, 1, glyphSnap, "Snapshot" },
        { "btn_op_pause_detection", "btn_pause.bmp", 370, 678, 72, 68, 1, glyphPause, "Pause" },
        { "btn_sys_search", "btn_search.bmp", 450, 678, 72, 68, 1, glyphSearch, "Records" },
        { "btn_sys_preference", "btn_pref.bmp", 530, 678, 72, 68, 1, glyphGear, "Settings" },
        { "btn_sys_power", "btn_power.bmp", 968, 20, 32, 32, 1, glyphPower, "" },
        { "btn_sys_minimize", "btn_min.bmp", 930, 20, 32, 32, 1, glyphMinimize, "" },
        { "btn_sys_help", "btn_help.bmp", 892, 20, 32, 32, 1, glyphHelp, "" },
        { "btn_ptz_tilt_up", "btn_up.bmp", 874, 422, 40, 40, 1, glyphArrow(0), "" },
        { "btn_ptz_tilt_down", "btn_down.bmp", 874, 510, 40, 40, 1, glyphArrow(180), "" },
        { "btn_ptz_pan_left", "btn_left.bmp", 830, 466, 40, 40, 1, glyphArrow(270), "" },
        { "btn_ptz_pan_right", "btn_right.bmp", 918, 466, 40, 40, 1, glyphArrow(90), "" },
        { "btn_ptz_stop", "btn_stop.bmp", 874, 466, 40, 40, 1, glyphStop, "" },
        { "btn_ptz_zoom_in", "btn_zoom_in.bmp", 786, 422, 40, 40, 1, glyphText("+"), "" },
        { "btn_ptz_zoom_out", "btn_zoom_out.bmp", 786, 510, 40, 40, 1, glyphText("-"), "" },
        { "btn_ptz_preset", "btn_preset.bmp", 962, 466, 40, 40, 1, glyphPreset, "" },
    };

    bool ok = true;
    const QImage background = backgroundPicture();
    ok &= save(background, folder, "bg_main.bmp");
    ok &= save(cornerPicture(background, 0, 0, false, false), folder, "bg_lt.bmp");
    ok &= save(cornerPicture(background, kWidth - kCorner, 0, true, false), folder, "bg_rt.bmp");
    ok &= save(cornerPicture(background, 0, kHeight - kCorner, false, true), folder, "bg_lb.bmp");
    ok &= save(cornerPicture(background, kWidth - kCorner, kHeight - kCorner, true, true), folder, "bg_rb.bmp");
    for (const ButtonLayout& layout : buttons)
        ok &= save(buttonPicture(layout), folder, layout.file);
    ok &= save(lightPicture(QColor(52, 58, 68), false), folder, "light_off.bmp");
    ok &= save(lightPicture(QColor(40, 190, 90), true), folder, "light_on.bmp");
    ok &= save(lightPicture(QColor(220, 40, 40), true), folder, "light_red.bmp");
    ok &= save(lightPicture(QColor(255, 130, 120), true), folder, "light_lred.bmp");
    ok &= save(lightPicture(QColor(40, 150, 230), true), folder, "light_ptz.bmp");
    ok &= save(lightPicture(QColor(230, 170, 30), true), folder, "light_standby.bmp");
    ok &= save(statusPanelPicture(), folder, "bg_status.bmp");
    ok &= save(timePanelPicture(), folder, "bg_time_panel.bmp");
    ok &= save(splashPicture(), folder + "/..", "Splash.bmp");
    ok &= save(captionIcon(QColor(230, 50, 50), false), folder, "Icon_Record.bmp");
    ok &= save(captionIcon(QColor(250, 190, 40), true), folder, "Icon_Motion.bmp");
    ok &= save(captionIcon(QColor(255, 230, 150), true), folder, "Icon_Motion1.bmp");

    QFile ini(folder + "/ui.ini");
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "skin maker: cannot write ui.ini\n");
        return 1;
    }
    QTextStream out(&ini);
    out << "; The station's skin, drawn by vantry_skin_maker.\n";
    out << "[tv standard]\ntype=pal\n\n";
    out << "[background]\nbg_w=" << kWidth << "\nbg_h=" << kHeight << "\nbg_main=bg_main.bmp\n"
        << "bg_mask_left_top=bg_lt.bmp\nbg_mask_right_top=bg_rt.bmp\n"
        << "bg_mask_left_bottom=bg_lb.bmp\nbg_mask_right_bottom=bg_rb.bmp\n\n";
    out << "[pal]\nx=29\ny=71\nw=720\nh=576\n\n";
    out << "[preset]\nx=786\ny=560\nw=216\nh=32\n\n";
    for (const ButtonLayout& layout : buttons)
        out << "[" << layout.section << "]\nshow=1\nfile=" << layout.file << "\nx=" << layout.x << "\ny=" << layout.y
            << "\ntype=" << layout.type << "\n\n";
    out << "[splitscreen]\ndefvideow=360\ndefvideoh=288\nx=20\ny=16\nw=736\nh=640\n\n";
    out << "[status_Panel]\nfile_light_off=light_off.bmp\nfile_light_on=light_on.bmp\n"
        << "file_light_red=light_red.bmp\nfile_light_lred=light_lred.bmp\nfile_light_on_ptz=light_ptz.bmp\n"
        << "file_light_on_standby=light_standby.bmp\nfile_bg=bg_status.bmp\nbg_x=786\nbg_y=150\n";
    const char* kinds[4] = { "video", "audio", "detect", "record" };
    for (int camera = 1; camera <= 4; ++camera)
        for (int kind = 0; kind < 4; ++kind)
            out << kinds[kind] << "_" << camera << "_x=" << 83 + kind * 36 << "\n"
                << kinds[kind] << "_" << camera << "_y=" << 35 + (camera - 1) * 30 << "\n";
    out << "\n[time_panel]\nx=28\ny=677\nfile=bg_time_panel.bmp\nr=0\ng=196\nb=196\n";
    out.flush();
    return ok && out.status() == QTextStream::Ok ? 0 : 1;
}
