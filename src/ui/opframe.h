#pragma once
// The editing panel of one FM operator. Its controls are the only place
// the operator's settings live; the frame converts them to and from the
// operator's five register images. It handles none of its controls'
// changes: the main window attaches its handlers to every instance.
#include "presets/patchrecord.h"

#include "synth/controllermap.h"
#include "synth/operatorfields.h"

#include <QFrame>
#include <array>
#include <cstddef>
#include <cstdint>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QSlider;

class TFrameOp : public QFrame {
    Q_OBJECT
public:
    explicit TFrameOp(QWidget* owner = nullptr);

    // Tag of the twelve editing controls: the operator index 0..5.
    void SetTag(int op);

    void SaveToPatch(OperatorPatch& patch) const;
    void LoadFromPatch(const OperatorPatch& patch);
    void SetDefaults();
    void MenuItemClearClick();

    // Controller values 0..127; each does nothing while "CC" is clear.
    void SetWaveformFromCc(uint8_t value);
    void SetKeyScalingFromCc(uint8_t value);
    void SetTuningFromCc(uint8_t value);
    void SetAttackFromCc(uint8_t value);
    void SetDecayFromCc(uint8_t value);
    void SetSustainFromCc(uint8_t value);
    void SetReleaseFromCc(uint8_t value);
    void SetVolumeFromCc(uint8_t value);

    void SetCcEnabled(bool enabled);
    bool IsCcEnabled() const;
    uint8_t GetVolume() const;

    // The control of row field of kOperatorFields, and the value it shows.
    QWidget* FieldControl(size_t field) const { return fieldControls_[field]; }
    int FieldValue(size_t field) const;

    QLabel* LabelWaveform;
    QComboBox* ComboBoxWS;
    QLabel* LabelModulation;
    QCheckBox* CheckBoxTremolo;
    QCheckBox* CheckBoxVibrato;
    QLabel* LabelKey;
    QLabel* LabelLevelScaling;
    QCheckBox* CheckBoxRateScaling;
    QComboBox* ComboBoxLevelScaling;
    QLabel* LabelFreqMultiplier;
    QComboBox* ComboBoxFreqMultiplier;
    QLabel* LabelEnvelope;
    QLabel* LabelAttack;
    QLabel* LabelDecay;
    QLabel* LabelSustain;
    QLabel* LabelRelease;
    QSlider* TrackBarAttack;
    QSlider* TrackBarDecay;
    QSlider* TrackBarSustain;
    QSlider* TrackBarRelease;
    QCheckBox* CheckBoxHold;
    QLabel* LabelVolume;
    QSlider* TrackBarVolume;
    QCheckBox* CheckBoxCC;
    QLabel* LabelOp;
    QMenu* PopupMenu;
    QAction* MenuItemBreak;
    QAction* MenuItemClear;

signals:
    // "Clear" was chosen: the operator is to take its defaults.
    void Cleared(TFrameOp* frame);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    // The frame's lists answer a right click with the frame's menu.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildEnvelope();
    void BuildMenu();
    void SetFromCc(CcTarget target, uint8_t value);

    std::array<QWidget*, kOperatorFields.size()> fieldControls_{};
};
