#include "station/ui/mask_editor.h"

#include "station/core/camera_channel.h"
#include "station/ui/mask_view.h"
#include "station/ui/prompter.h"
#include "station/ui/ui_texts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace vantry::station::ui {

MaskEditor::MaskEditor(CameraChannel& channel, Prompter& prompter, QWidget* parent)
    : QDialog(parent)
    , channel_(channel)
    , prompter_(prompter)
{
    setWindowTitle(QStringLiteral("Detection Mask - Camera %1").arg(channel.cameraIndex() + 1));
    const MotionSettings& settings = channel_.motion().detector().settings();
    view = new MaskView(channel_, this);
    gridSlider = new QSlider(Qt::Horizontal, this);
    gridSlider->setRange(MotionSettings::kMinGridSize, MotionSettings::kMaxGridSize);
    gridSlider->setValue(settings.gridSize);
    gridField = new QLineEdit(QString::number(settings.gridSize), this);
    gridField->setMaximumWidth(50);
    displayGrid = new QCheckBox("Display &grid", this);
    displayGrid->setChecked(settings.displayGrid);
    transparentMask = new QCheckBox("&Transparent mask", this);
    transparentMask->setChecked(settings.transparentMask);
    clearButton = new QPushButton("&Clear mask", this);
    maskAllButton = new QPushButton("&Mask all", this);
    position = new QLabel("(0, 0)", this);
    position->setMinimumWidth(90);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view, 0, Qt::AlignHCenter);
    layout->addWidget(new QLabel("Drag the left mouse button over the cells to leave out of detection; the right button "
                                 "(or Shift + left) puts them back.",
                                 this));
    auto* gridRow = new QHBoxLayout;
    gridRow->addWidget(new QLabel("Mask size:", this));
    gridRow->addWidget(gridSlider, 1);
    gridRow->addWidget(gridField);
    gridRow->addWidget(position);
    layout->addLayout(gridRow);
    auto* row = new QHBoxLayout;
    row->addWidget(displayGrid);
    row->addWidget(transparentMask);
    row->addStretch();
    row->addWidget(clearButton);
    row->addWidget(maskAllButton);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &MaskEditor::accept);
    layout->addWidget(buttons);

    connect(view, &MaskView::cursorMoved, this,
            [this](int x, int y) { position->setText(QStringLiteral("(%1, %2)").arg(x).arg(y)); });
    connect(gridSlider, &QSlider::valueChanged, this, &MaskEditor::setGridSize);
    connect(gridField, &QLineEdit::editingFinished, this, &MaskEditor::applyGridField);
    connect(displayGrid, &QCheckBox::toggled, this, &MaskEditor::storeEditorSettings);
    connect(transparentMask, &QCheckBox::toggled, this, &MaskEditor::storeEditorSettings);
    connect(clearButton, &QPushButton::clicked, this, &MaskEditor::clearMask);
    connect(maskAllButton, &QPushButton::clicked, this, &MaskEditor::maskEverything);
}

bool MaskEditor::applyGridField()
{
    bool ok = false;
    const int size = gridField->text().trimmed().toInt(&ok);
    if (!ok || size < MotionSettings::kMinGridSize || size > MotionSettings::kMaxGridSize) {
        prompter_.inform(this, text_ids::kMaskSize, UiTexts::text(text_ids::kMaskSize));
        gridField->setText(QString::number(channel_.motion().detector().settings().gridSize));
        return false;
    }
    setGridSize(size);
    return true;
}

void MaskEditor::setGridSize(int size)
{
    size = std::clamp(size, MotionSettings::kMinGridSize, MotionSettings::kMaxGridSize);
    if (gridSlider->value() != size)
        gridSlider->setValue(size);
    if (gridField->text() != QString::number(size))
        gridField->setText(QString::number(size));
    storeEditorSettings();
}

void MaskEditor::storeEditorSettings()
{
    channel_.motion().detector().setEditorSettings(displayGrid->isChecked(), transparentMask->isChecked(),
                                                   gridSlider->value());
    view->update();
}

void MaskEditor::clearMask()
{
    channel_.motion().detector().clearMask();
    view->update();
}

void MaskEditor::maskEverything()
{
    channel_.motion().detector().maskEverything();
    view->update();
}

} // namespace vantry::station::ui
