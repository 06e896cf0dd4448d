#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace vantry::station {
class CameraChannel;
}

namespace vantry::station::ui {

class MaskView;
class Prompter;

// The detection mask of one camera over its live picture, with the grid's size and the
// commands that act on the whole picture. Edits go to the camera's detector at once.
class MaskEditor final : public QDialog {
    Q_OBJECT
public:
    MaskEditor(CameraChannel& channel, Prompter& prompter, QWidget* parent = nullptr);

    // The grid size typed in the edit box: outside 4..40 shows 61214 and puts the previous
    // value back. True when it was taken.
    bool applyGridField();
    void setGridSize(int size);
    void clearMask();
    void maskEverything();

    MaskView* view;
    QSlider* gridSlider;
    QLineEdit* gridField;
    QCheckBox* displayGrid;
    QCheckBox* transparentMask;
    QPushButton* clearButton;
    QPushButton* maskAllButton;
    QLabel* position;

private:
    void storeEditorSettings();

    CameraChannel& channel_;
    Prompter& prompter_;
};

} // namespace vantry::station::ui
