#include "station/ui/devices_dialog.h"

#include "station/ui/prompter.h"
#include "station/ui/ui_texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace vantry::station::ui {

namespace {

void fillList(QComboBox* list, const std::vector<CaptureDevice>& devices, const std::string& current)
{
    list->addItem(UiTexts::text(text_ids::kNone), QString());
    int selected = 0;
    for (const CaptureDevice& device : devices) {
        list->addItem(QString::fromStdString(device.friendlyName), QString::fromStdString(device.displayName));
        if (device.displayName == current)
            selected = list->count() - 1;
    }
    list->setCurrentIndex(selected);
}

std::string choiceOf(const QComboBox* list)
{
    return list->currentData().toString().toStdString();
}

} // namespace

DevicesDialog::DevicesDialog(const std::vector<CaptureDevice>& video, const std::vector<CaptureDevice>& audio,
                             const std::array<DeviceChoice, 4>& current, bool autoAdjust, bool presets,
                             Prompter& prompter, QWidget* parent)
    : QDialog(parent)
    , presets_(presets)
    , prompter_(prompter)
{
    setWindowTitle("Device Settings");
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Video source", this), 0, 1);
    grid->addWidget(new QLabel("Audio source", this), 0, 2);
    for (int camera = 0; camera < 4; ++camera) {
        const auto i = static_cast<size_t>(camera);
        DeviceChoice start = current[i];
        if (presets) {
            start.video = i < video.size() ? video[i].displayName : std::string();
            start.audio.clear();
        }
        auto* label = new QLabel(QStringLiteral("Camera &%1:").arg(camera + 1), this);
        videoLists[i] = new QComboBox(this);
        audioLists[i] = new QComboBox(this);
        label->setBuddy(videoLists[i]);
        fillList(videoLists[i], video, start.video);
        fillList(audioLists[i], audio, start.audio);
        videoLists[i]->setMinimumWidth(220);
        audioLists[i]->setMinimumWidth(220);
        grid->addWidget(label, camera + 1, 0);
        grid->addWidget(videoLists[i], camera + 1, 1);
        grid->addWidget(audioLists[i], camera + 1, 2);
        connect(videoLists[i], &QComboBox::currentIndexChanged, this, [this, camera] { followVideo(camera); });
        followVideo(camera);
    }
    layout->addLayout(grid);
    autoAdjustBox =
        new QCheckBox("&Auto-adjust the frame rate to keep video data rate below the maximum USB 2.0  bandwidth.", this);
    autoAdjustBox->setChecked(autoAdjust);
    layout->addWidget(autoAdjustBox);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &DevicesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DevicesDialog::reject);
    layout->addWidget(buttons);
}

void DevicesDialog::followVideo(int camera)
{
    const auto i = static_cast<size_t>(camera);
    // No camera, no microphone of its own.
    const bool none = videoLists[i]->currentIndex() == 0;
    if (none)
        audioLists[i]->setCurrentIndex(0);
    audioLists[i]->setEnabled(!none);
}

Refusal DevicesDialog::check() const
{
    const auto chosen = choices();
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b)
            if (!chosen[static_cast<size_t>(a)].video.empty() && chosen[static_cast<size_t>(a)].video == chosen[static_cast<size_t>(b)].video)
                return Refusal { text_ids::kSameVideoDevice,
                                 UiTexts::textWithNumbers(text_ids::kSameVideoDevice, { a + 1, b + 1 }),
                                 videoLists[static_cast<size_t>(b)] };
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b)
            if (!chosen[static_cast<size_t>(a)].audio.empty() && chosen[static_cast<size_t>(a)].audio == chosen[static_cast<size_t>(b)].audio)
                return Refusal { text_ids::kSameAudioDevice,
                                 UiTexts::textWithNumbers(text_ids::kSameAudioDevice, { a + 1, b + 1 }),
                                 audioLists[static_cast<size_t>(b)] };
    return {};
}

std::array<DeviceChoice, 4> DevicesDialog::choices() const
{
    std::array<DeviceChoice, 4> result;
    for (size_t i = 0; i < 4; ++i)
        result[i] = DeviceChoice { choiceOf(videoLists[i]), choiceOf(audioLists[i]) };
    return result;
}

bool DevicesDialog::autoAdjust() const
{
    return autoAdjustBox->isChecked();
}

void DevicesDialog::accept()
{
    const Refusal refusal = check();
    if (refusal) {
        prompter_.inform(this, refusal.messageId, refusal.text);
        if (refusal.focus)
            refusal.focus->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace vantry::station::ui
