#pragma once
// The main window. It owns every other object of the synthesizer, shows
// every parameter of the sounding patch and applies each edit to the chip
// at once. The live patch is its controls: whole-patch records are built
// from them and shown in them again.
#include "hardware/opl3.h"
#include "presets/patchrecord.h"
#include "ui/toolkit.h"

#include <QCheckBox>
#include <QComboBox>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class FM801;
class Midi;
class SBI;
class TFormCc;
class TFormKBD;
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

    // The preset banks are folders of presetRoot, the working directory
    // when it is empty.
    explicit TFormMain(QWidget* owner = nullptr, PortBaseSource portBaseSource = {},
                       std::filesystem::path presetRoot = {});
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

    // The preset panel.
    void FillPresetList();
    void LoadPresetByName(const std::string& name);
    void ComboBoxBankChange();
    void ComboBoxPresetSelect();
    void ComboBoxPresetKeyUp(int key);
    void ButtonSavePresetClick();
    void ButtonResetClick();

    // Handlers shared by the six frames; the sender's Tag is the operator.
    // Lists and track bars change:
    void FrameOp1ComboBoxWSChange(QObject* s) { OnField("ComboBoxWS", s); }
    void FrameOp1ComboBoxLevelScalingChange(QObject* s) { OnField("ComboBoxLevelScaling", s); }
    void FrameOp1ComboBoxFreqMultiplierChange(QObject* s) { OnField("ComboBoxFreqMultiplier", s); }
    void FrameOp1TrackBarAttackChange(QObject* s) { OnField("TrackBarAttack", s); }
    void FrameOp1TrackBarDecayChange(QObject* s) { OnField("TrackBarDecay", s); }
    void FrameOp1TrackBarSustainChange(QObject* s) { OnField("TrackBarSustain", s); }
    void FrameOp1TrackBarReleaseChange(QObject* s) { OnField("TrackBarRelease", s); }
    void FrameOp1TrackBarVolumeChange(QObject* s) { OnField("TrackBarVolume", s); }
    // Menu items and check boxes are clicked:
    void Copy1Click(QObject* sender);
    void Paste1Click(QObject* sender);
    void FrameOp1CheckBoxTremoloClick(QObject* s) { OnField("CheckBoxTremolo", s); }
    void FrameOp1CheckBoxVibratoClick(QObject* s) { OnField("CheckBoxVibrato", s); }
    void FrameOp1CheckBoxRateScalingClick(QObject* s) { OnField("CheckBoxRateScaling", s); }
    void FrameOp1CheckBoxHoldClick(QObject* s) { OnField("CheckBoxHold", s); }

    // Voice-wide controls: each sends its value to its chip setter.
    void CheckBoxAClick() { Send(&OPL3::SetOutputA, CheckBoxA); }
    void CheckBoxBClick() { Send(&OPL3::SetOutputB, CheckBoxB); }
    void CheckBoxA2Click() { Send(&OPL3::SetOutputA2, CheckBoxA2); }
    void CheckBoxB2Click() { Send(&OPL3::SetOutputB2, CheckBoxB2); }
    void ComboBoxFBChange() { Send(&OPL3::SetFeedback, ComboBoxFB); }
    void ComboBoxFB2Change() { Send(&OPL3::SetFeedback2, ComboBoxFB2); }
    void ComboBoxCNTChange();
    void ComboBoxTDChange() { Send(&OPL3::SetTremoloDepth, ComboBoxTD); }
    void ComboBoxVDChange() { Send(&OPL3::SetVibratoDepth, ComboBoxVD); }

    void TrackBarVolumeChange();
    void CheckBoxMuteClick();
    void LabelVolumeClick();
    void LabelPanClick();
    void ButtonKbdClick();
    void ButtonCcClick();
    void ComboBoxMidiInChange();

    void EnablePaste();

    // MIDI short messages, from the input or the mini keyboard (ui/mainform_midi.cpp).
    void HandleMidiOpen();
    void HandleMidiData(uint32_t source, uint32_t message);
    void HandleController(uint8_t number, uint8_t value);
    void ApplyVelocity(uint8_t velocity);
    // Picks the first MIDI input whose text holds text (any case), as the
    // user would. False when none does.
    bool ChooseMidiIn(const QString& text);

    // Members owned by the window, in the order they are created.
    std::unique_ptr<FM801> Fm801;
    TFormKBD* KeyboardForm = nullptr;
    std::array<TFrameOp*, kOperatorCount> OperatorFrames{};
    std::vector<std::string> BankNames;
    std::unique_ptr<SBI> PresetStore;
    TFormCc* ControllerForm = nullptr;
    std::unique_ptr<Midi> MidiIn;
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
    EditableComboBox* ComboBoxPreset;
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

protected:
    void Dispatch(const PostedMessage& message) override;

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

    // The handler of every frame control: row field of kOperatorFields, or
    // the row of the named control.
    void FrameOpFieldChange(size_t field, QObject* sender);
    void OnField(std::string_view control, QObject* sender);
    void Send(void (OPL3::*setter)(uint8_t), const QWidget* control);
    void ShowCardOutputState();
    void ShowConnectionPicture(int index);
    // Paste and "Clear" set the frame's three lists, which run no handler.
    void SendListSelections(int op);
    void ShowPresetNumber(int index);
    void Release();

    void NoteOn(uint8_t note, uint8_t velocity);
    void NoteOff(uint8_t note);
    void ReleaseAllNotes();
    void ProgramChange(uint8_t program);
    void PitchBend(uint8_t data2);
    void StepPreset(int8_t step);
    void ApplyControllerRow(int row, uint8_t value);
    void SelectFromController(QComboBox* list, int index);

    bool terminated_ = false;
};
