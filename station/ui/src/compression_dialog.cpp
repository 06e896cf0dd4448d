#include "station/ui/compression_dialog.h"

#include "station/ui/dialog_checks.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <gst/gst.h>

namespace vantry::station::ui {

namespace {

// The encoders GStreamer offers, by their long names, with the current one always listed.
QStringList encoderNames(GstElementFactoryListType type, const QString& current)
{
    QStringList names;
    if (gst_is_initialized()) {
        GList* factories = gst_element_factory_list_get_elements(type, GST_RANK_NONE);
        for (GList* item = factories; item; item = item->next) {
            const char* name = gst_element_factory_get_metadata(GST_ELEMENT_FACTORY(item->data), GST_ELEMENT_METADATA_LONGNAME);
            if (name && !names.contains(QString::fromUtf8(name)))
                names.append(QString::fromUtf8(name));
        }
        gst_plugin_feature_list_free(factories);
    }
    names.sort(Qt::CaseInsensitive);
    if (!current.isEmpty() && !names.contains(current))
        names.prepend(current);
    return names;
}

} // namespace

CompressionDialog::CompressionDialog(const common::CaptureSettings& capture, bool recordAudio, bool hasAudioDevice,
                                     QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle("Compression Options");
    videoCodec = new QComboBox(this);
    const QString currentVideo = QString::fromStdString(capture.videoCodec);
    videoCodec->addItems(encoderNames(GST_ELEMENT_FACTORY_TYPE_VIDEO_ENCODER, currentVideo));
    videoCodec->setCurrentText(currentVideo);
    audioCodec = new QComboBox(this);
    const QString currentAudio = QString::fromStdString(capture.audioCodec);
    audioCodec->addItems(encoderNames(GST_ELEMENT_FACTORY_TYPE_AUDIO_ENCODER, currentAudio));
    audioCodec->setCurrentText(currentAudio);
    audioCodec->setEnabled(hasAudioDevice);
    quality = new QSlider(Qt::Horizontal, this);
    quality->setRange(1, 100);
    quality->setValue(std::clamp(capture.videoQuality, 1, 100));
    qualityField = new QLineEdit(QString::number(quality->value()), this);
    qualityField->setMaximumWidth(60);
    connect(quality, &QSlider::valueChanged, this, [this](int value) { qualityField->setText(QString::number(value)); });
    connect(qualityField, &QLineEdit::editingFinished, this, [this] {
        bool ok = false;
        const int value = qualityField->text().toInt(&ok);
        if (ok && value >= 1 && value <= 100)
            quality->setValue(value);
    });
    videoOnly = new QRadioButton("Record vi&deo only", this);
    videoAndAudio = new QRadioButton("Record video && a&udio", this);
    (recordAudio ? videoAndAudio : videoOnly)->setChecked(true);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow("&Video codec:", videoCodec);
    form->addRow("&Audio codec:", audioCodec);
    auto* q = new QHBoxLayout;
    q->addWidget(quality);
    q->addWidget(qualityField);
    form->addRow("&Quality (1..100):", q);
    layout->addLayout(form);
    layout->addWidget(videoOnly);
    layout->addWidget(videoAndAudio);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CompressionDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CompressionDialog::reject);
    layout->addWidget(buttons);
}

void CompressionDialog::accept()
{
    const Refusal refusal = checkRange(qualityField, 1, 100);
    if (refusal) {
        QMessageBox::information(this, "Vantry", refusal.text);
        qualityField->setFocus();
        return;
    }
    quality->setValue(fieldValue(qualityField));
    QDialog::accept();
}

void CompressionDialog::store(common::CaptureSettings& capture, int32_t& recordAudio) const
{
    capture.videoCodec = videoCodec->currentText().toStdString();
    capture.audioCodec = audioCodec->currentText().toStdString();
    capture.videoQuality = quality->value();
    recordAudio = videoAndAudio->isChecked() ? 1 : 0;
}

} // namespace vantry::station::ui
