#pragma once
// The main window. It owns every other object of the program and shows
// every parameter of the sounding patch: a view of the synthesizer core,
// which holds the patch and plays the card. A user's edit becomes one call
// on the core; what the core changes (a controller, a program change, a
// preset) reaches the controls when the window shows the core again.
#include "hardware/opl3.h"
#include "presets/patchrecord.h"
#include "synth/presetbank.h"
#include "synth/synthstate.h"
#include "synth/viewrules.h"
#include "ui/toolkit.h"

#include <QCheckBox>
#include <QComboBox>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class FM801;
class Midi;
class SynthCore;
class CoreLink;
class EmulatedCard;
class QTimer;
class SBI;
class TFormCc;
class TFormKBD;
class TFormBrowser;
struct BankInstrument;
class QFrame;
class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QSlider;
class QToolButton;
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

    // Whole-patch records of the core's patch, and records shown in it.
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

    // Voice-wide controls: each hands its value to the core.
    void CheckBoxAClick() { Send(VoiceField::OutputA, CheckBoxA); }
    void CheckBoxBClick() { Send(VoiceField::OutputB, CheckBoxB); }
    void CheckBoxA2Click() { Send(VoiceField::OutputA2, CheckBoxA2); }
    void CheckBoxB2Click() { Send(VoiceField::OutputB2, CheckBoxB2); }
    void ComboBoxFBChange() { Send(VoiceField::Feedback, ComboBoxFB); }
    void ComboBoxFB2Change() { Send(VoiceField::Feedback2, ComboBoxFB2); }
    void ComboBoxCNTChange() { Send(VoiceField::Connection, ComboBoxCNT); }
    void ComboBoxTDChange() { Send(VoiceField::TremoloDepth, ComboBoxTD); }
    void ComboBoxVDChange() { Send(VoiceField::VibratoDepth, ComboBoxVD); }

    void TrackBarVolumeChange();
    void CheckBoxMuteClick();
    void LabelVolumeClick();
    void LabelPanClick();
    void ButtonKbdClick();
    void ButtonCcClick();
    void ComboBoxMidiInChange();

    void EnablePaste();

    // Added to the window (ui/mainform_edit.cpp): undo, redo and the
    // A/B compare of the patch; the pedals and the bend range.
    void UndoClick();
    void RedoClick();
    void CompareClick();
    void CopyAToBClick();
    void PedalsClick();
    void BendRangeClick(int cents);
    // Undo stops at what the window shows now (after start and what the
    // last run left).
    void ForgetHistory();

    // The sound browser (ui/mainform_browser.cpp), shown by ButtonBrowse and
    // Ctrl+L. It lists the bank files of LibraryFolder (none when empty),
    // which is set before it first shows.
    void ButtonBrowseClick();
    void ChooseInstrument(const BankInstrument& instrument);
    void PlayPreview(uint8_t note, bool on);
    TFormBrowser* BrowserForm = nullptr;
    std::filesystem::path LibraryFolder;

    // MIDI short messages, from the input or the mini keyboard, handed to
    // the core (ui/mainform_midi.cpp).
    void HandleMidiOpen();
    void HandleMidiData(uint32_t source, uint32_t message);
    void HandleController(uint8_t number, uint8_t value);
    void ApplyVelocity(uint8_t velocity);
    // Picks the first MIDI input whose text holds text (any case), as the
    // user would. False when none does.
    bool ChooseMidiIn(const QString& text);

    // The name of the preset applied last, by name, program change or step.
    // Its name is the bytes of its file's name.
    const std::string& LastPreset() const { return lastPreset_; }

    // Shows what the core holds now in every control it touches.
    void ShowCore();
    // From now on the core plays inside the card's audio periods and MIDI
    // input goes to it there; the window follows what it did. False when
    // the card can't take it (no stream, or another port backend).
    bool PlayOnCard(EmulatedCard& card);
    // Elsewhere (a real card, a port log): on a thread of the core's own.
    void PlayOnThread();

    // Members owned by the window, in the order they are created. The core
    // owns the card; Fm801 is its FM801, for those who read the chip.
    std::unique_ptr<SynthCore> Core;
    FM801* Fm801 = nullptr;
    // Every call on the core goes through it: at once, or to the audio thread.
    std::unique_ptr<CoreLink> Link;
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
    QPushButton* ButtonBrowse;

    QFrame* PanelOutput;
    QLabel* LabellOutput;
    ClickLabel* LabelVolume;
    QSlider* TrackBarVolume;
    QCheckBox* CheckBoxMute;
    ClickLabel* LabelPan;
    QLabel* LabelL;
    QSlider* TrackBarPan;
    QLabel* LabelR;

    // Beside the described controls: the line beside the preset label (a
    // hint while no preset was ever chosen, then the two presets that sound
    // when they differ), the MIDI light, and which channel input arrives on
    // when it is not the one listened to (a click listens there).
    QLabel* LabelPresetParts;
    QLabel* MidiLight;
    ClickLabel* LabelChannelHint;

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

    // In free room of PanelMidi: a menu of the pedals and the bend range.
    QToolButton* ButtonPlay;
    QMenu* PopupMenuPlay;
    QAction* MenuItemPedals;
    QMenu* MenuBendRange;
    std::vector<QAction*> BendRangeItems; // by their cents, in data()
    // In free room of PanelSynth, right of the second voice: the Edit menu
    // and the compare switch, which shows the memory sounding ("A" or "B").
    QToolButton* ButtonEdit;
    QMenu* PopupMenuEdit;
    QAction* MenuItemUndo;
    QAction* MenuItemRedo;
    QAction* MenuItemCompare;
    QAction* MenuItemCopyAToB;
    QToolButton* ButtonCompare;

protected:
    void Dispatch(const PostedMessage& message) override;

private:
    void BuildForm();
    void BuildPanelMidi();
    void BuildPanelKbd();
    void BuildPanelPreset();
    void BuildBrowserButton();
    void BuildPanelOutput();
    void BuildPanelCntSchematic();
    void BuildPanelSynth();
    void BuildOperatorFrames();
    void AddCopyPaste(int op, TFrameOp* frame);
    void ConnectHandlers();
    void ConnectOperatorFrame(int op);
    void BuildPlayMenu();
    void BuildEditMenu();
    void ConnectEditing();
    void ShowEditing(const SynthState& state);

    // The handler of every frame control: row field of kOperatorFields, or
    // the row of the named control.
    void FrameOpFieldChange(size_t field, QObject* sender);
    void OnField(std::string_view control, QObject* sender);
    void Send(VoiceField field, const QWidget* control);
    void ConnectCoreSettings();
    void ConnectControllerRows();
    void ShowConnectionPicture(int index);
    void ShowOperators(const SynthState& state);
    void ShowVoice(const SynthState& state);
    void ShowTunings(const SynthState& state);
    void ShowPresetPanel(const SynthState& state);
    void ShowPresetNumber(int index);
    void Release();

    // ui/mainform_access.cpp
    void NameControls();
    // The voice-wide lists and output check boxes, by the field they show.
    std::array<std::pair<QWidget*, VoiceField>, kVoiceFieldCount> VoiceControls() const;
    void NameOperatorControls(int op);

    // ui/mainform_hints.cpp
    void BuildHints();
    void SetTips();
    void SetOperatorTips(int op);
    void ShowHints(const SynthState& state);
    void ShowPresetParts(const SynthState& state);
    void UpdatePresetButtons();
    void PollMidiActivity();
    void ReadMidiInputsAgain();
    void PlaceKeyboard();
    const SynthState& TipState() const;

    bool terminated_ = false;
    void FreeReturnedBanks();
    void FollowCore(EmulatedCard* card);
    void FollowStream(EmulatedCard& card);

    // The banks the core chooses program changes from: the current one last;
    // the others until the core hands them back.
    std::vector<std::unique_ptr<PresetBank>> banks_;
    std::unique_ptr<QTimer> pollTimer_;
    bool playingHere_ = false; // the card's stream died under the core
    // What ShowCore showed last; nullopt before the first time.
    std::optional<SynthState> shown_;
    int shownPicture_ = -2;
    std::string lastPreset_ = kDefaultPresetName;
    std::unique_ptr<QTimer> activityTimer_;
    MidiActivity activity_;
    bool keyboardPlaced_ = false;
};
