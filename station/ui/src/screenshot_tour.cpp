#include "station/ui/screenshot_tour.h"

#include "station/ui/dialog_launcher.h"
#include "station/core/camera_channel.h"
#include "station/ui/main_window.h"
#include "station/ui/mask_editor.h"
#include "station/ui/mask_view.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace vantry::station::ui {

ScreenshotTour::ScreenshotTour(MainWindow* window, QString folder, std::function<void()> finished)
    : QObject(window)
    , window_(window)
    , folder_(std::move(folder))
    , finished_(std::move(finished))
{
}

void ScreenshotTour::start(int settleMs)
{
    QDir().mkpath(folder_);
    QTimer::singleShot(settleMs, this, &ScreenshotTour::run);
}

bool ScreenshotTour::save(QWidget* widget, const QString& name)
{
    const QString path = folder_ + "/" + name + ".png";
    const QPixmap picture = widget ? widget->grab() : QPixmap();
    const bool ok = !picture.isNull() && picture.save(path, "PNG");
    std::fprintf(stderr, "screenshots: %s %s\n", ok ? "saved" : "could not save", qPrintable(path));
    return ok;
}

void ScreenshotTour::grabActiveDialogLater(const QString& name)
{
    // The dialog runs its own loop; the grab happens inside it, then the dialog closes.
    QTimer::singleShot(1500, this, [this, name] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* candidate = qobject_cast<QDialog*>(widget); candidate && candidate->isVisible())
                    dialog = candidate;
        }
        // The mask editor shows a few cells left out, then the camera gets its mask back.
        auto* editor = qobject_cast<MaskEditor*>(dialog);
        std::optional<GreyBitmap> savedMask;
        if (editor) {
            savedMask = editor->view->channel().motion().detector().mask();
            const QSize frame = editor->view->frameSize();
            for (int x = frame.width() / 2; x < frame.width(); x += 40)
                for (int y = 0; y < frame.height() / 3; y += 40)
                    editor->view->markAt(QPoint(x, y), false, false);
            QApplication::processEvents();
        }
        save(dialog, name);
        if (editor)
            editor->view->channel().motion().detector().setMask(savedMask);
        if (dialog)
            dialog->reject();
    });
}

void ScreenshotTour::run()
{
    save(window_, "station-main");
    DialogLauncher launcher(window_);
    grabActiveDialogLater("station-camera-options");
    launcher.openCameraOptions(0);
    grabActiveDialogLater("station-mask-editor");
    launcher.openMaskEditor(0);
    grabActiveDialogLater("station-log-viewer");
    launcher.openLogs();
    if (finished_)
        finished_();
}

} // namespace vantry::station::ui
