#pragma once
// The main window. It owns every other object of the synthesizer, shows
// every parameter of the sounding patch and applies each edit to the chip
// at once. The live patch is its controls: whole-patch records are built
// from them and shown in them again.
#include "presets/patchrecord.h"
#include "ui/toolkit.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class FM801;
class TFormCc;
class TFormKBD;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QSlider;
class TFrameOp;
class ClickLabel;
class JpegImage;

class TFormMain : public MessageWindow {
    Q_OBJECT
public:
    // Finds the card's I/O base; 0 or 0xFFFF end the program. The default
    // shows the detection dialog.
    using PortBaseSource = std::function<uint16_t(QWidget* owner)>;

    explicit TFormMain(QWidget* owner = nullptr, PortBaseSource portBaseSource = {});
    ~TFormMain() override;

    // True when no card was chosen: the window must not be shown.
    bool Terminated() const { return terminated_; }

    // Whole-patch records built from the controls and shown in them again.
    SynthPatch GetSynthPatch() const;
    void SetSynthPatch(const SynthPatch& patch);
    // The records are values: there is nothing left to free.
    void FreeSynthPatch(SynthPatch&) {}
    PatchSettings GetPatchSettings() const;
    void SetPatchSettings(const PatchSettings& settings);
    void LoadDefaultPatch();
    void LoadPresetByName(const std::string& name);

    // Handlers shared by the six frames; the sender's Tag is the operator.
    void FrameOp1ComboBoxWSChange(QObject* sender);
    void FrameOp1CheckBoxTremoloClick(QObject* sender);
    void FrameOp1CheckBoxVibratoClick(QObject* sender);
    void FrameOp1CheckBoxRateScalingClick(QObject* sender);
    void FrameOp1ComboBoxLevelScalingChange(QObject* sender);
    void FrameOp1ComboBoxFreqMultiplierChange(QObject* sender);
    void FrameOp1TrackBarAttackChange(QObject* sender);
    void FrameOp1TrackBarDecayChange(QObject* sender);
    void FrameOp1TrackBarSustainChange(QObject* sender);
    void FrameOp1TrackBarReleaseChange(QObject* sender);
    void FrameOp1CheckBoxHoldClick(QObject* sender);
    void FrameOp1TrackBarVolumeChange(QObject* sender);
    void Copy1Click(QObject* sender);
    void Paste1Click(QObject* sender);

    void CheckBoxAClick();
    void CheckBoxBClick();
    void CheckBoxA2Click();
    void CheckBoxB2Click();
    void ComboBoxFBChange();
    void ComboBoxFB2Change();
    void ComboBoxCNTChange();
    void ComboBoxTDChange();
    void ComboBoxVDChange();

    void TrackBarVolumeChange();
    void CheckBoxMuteClick();
    void LabelVolumeClick();
    void LabelPanClick();
    void ButtonKbdClick();
    void ButtonCcClick();

    void EnablePaste();

    // Members owned by the window, in the order they are created.
    std::unique_ptr<FM801> Fm801;
    TFormKBD* KeyboardForm = nullptr;
    std::array<TFrameOp*, kOperatorCount> OperatorFrames{};
    std::vector<std::string> BankNames;
    TFormCc* ControllerForm = nullptr;
    OperatorPatch CopyBuffer{}; // zero until the first Copy

    QFrame* PanelMidi;
    QLabel* LabelMidiInput;
    QComboBox* ComboBoxMidiIn;
    QLabel* LabelChannel;
    QComboBox* ComboBoxMidiChannel;
    QPushButton* ButtonCc;

    QFrame* PanelKbd;
    QLabel* LabelTranspose;
    QComboBox* ComboBoxTranspose;
    QLabel* LabelPoly;
    QFrame* PanelPoly;
    QLabel* LabelP;
    QLabel* Label2;
    QCheckBox* CheckBoxChorder;
    QPushButton* ButtonKbd;

    QFrame* PanelPreset;
    QLabel* LabelPreset;
    QComboBox* ComboBoxPreset;
    QLabel* LabelBank;
    QComboBox* ComboBoxBank;
    QPushButton* ButtonSavePreset;
    QPushButton* ButtonReset;

    QFrame* PanelOutput;
    QLabel* LabellOutput;
    ClickLabel* LabelVolume;
    QSlider* TrackBarVolume;
    QCheckBox* CheckBoxMute;
    ClickLabel* LabelPan;
    QLabel* LabelL;
    QSlider* TrackBarPan;
    QLabel* LabelR;

    QFrame* PanelCntSchematic;
    QLabel* LabelCntSchematic;
    QFrame* PanelImage;
    JpegImage* ImageCnt;

    QFrame* PanelSynth;
    QLabel* LabelFB;
    QComboBox* ComboBoxFB;
    QLabel* LabelTR1;
    QComboBox* ComboBoxTR1;
    QLabel* LabelOP1;
    QCheckBox* CheckBoxA;
    QCheckBox* CheckBoxB;
    QLabel* LabelCNT;
    QComboBox* ComboBoxCNT;
    QLabel* LabelTD;
    QComboBox* ComboBoxTD;
    QLabel* LabelVD;
    QComboBox* ComboBoxVD;
    QLabel* LabelFB2;
    QComboBox* ComboBoxFB2;
    QLabel* LabelTR2;
    QComboBox* ComboBoxTR2;
    QLabel* LabelOP2;
    QCheckBox* CheckBoxA2;
    QCheckBox* CheckBoxB2;

    // PanelOp1, PanelOp4, ... PanelOp16 and FrameOp1 ... FrameOp16, by operator.
    std::array<QFrame*, kOperatorCount> PanelOps{};
    std::array<TFrameOp*, kOperatorCount> FrameOps{};
    std::array<QAction*, kOperatorCount> CopyItems{};  // Copy1 .. Copy6
    std::array<QAction*, kOperatorCount> PasteItems{}; // Paste1 .. Paste6

private:
    void BuildForm();
    void BuildPanelMidi();
    void BuildPanelKbd();
    void BuildPanelPreset();
    void BuildPanelOutput();
    void BuildPanelCntSchematic();
    void BuildPanelSynth();
    void BuildOperatorFrames();
    void AddCopyPaste(int op, TFrameOp* frame);
    void ConnectHandlers();
    void ConnectOperatorFrame(int op);

    // The handler of every frame control: row field of kOperatorFields.
    void FrameOpFieldChange(size_t field, QObject* sender);
    void ShowCardOutputState();
    void ShowConnectionPicture(int index);
    // Paste and "Clear" set the frame's three lists, which run no handler.
    void SendListSelections(int op);
    void Release();

    bool terminated_ = false;
};
