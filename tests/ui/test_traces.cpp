// What the chip receives and what the window shows, step by step, over a
// long session of edits, presets, MIDI messages and controllers: held
// against a record made before the synthesizer left the window. A step
// that differs names itself; VI801_TRACE_DUMP=FILE writes every access and
// control of every step there, and VI801_TRACE_WRITE=FILE writes a new
// record (only after a change that is meant to change what the chip hears).
#include "boxcatcher.h"
#include "mainwindow_support.h"
#include "tempfolder.h"

#include "midi/postedmessage.h"
#include "midi/shortmessage.h"
#include "presets/presetfile.h"
#include "ui/ccform.h"
#include "ui/opframe.h"
#include "ui/toolkit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Step {
    std::string name;
    std::function<void(TFormMain&)> run;
};

uint64_t Fnv(uint64_t hash, const std::string& text) {
    for (unsigned char c : text)
        hash = (hash ^ c) * 0x100000001b3ull;
    return hash;
}

std::string TraceText(const PortRecorder& rec) {
    std::ostringstream out;
    for (const auto& a : rec.Accesses())
        out << int(a.kind) << ' ' << std::hex << a.port << ' ' << a.value << std::dec << '\n';
    return out.str();
}

// Every control a user sees, in the window's own order.
std::string ViewText(const TFormMain& w) {
    std::ostringstream out;
    for (const QWidget* c : w.findChildren<QWidget*>()) {
        const std::string name = c->objectName().toStdString();
        if (auto* s = qobject_cast<const QSlider*>(c)) out << name << '=' << s->value() << '\n';
        if (auto* b = qobject_cast<const QCheckBox*>(c))
            out << name << '=' << b->isChecked() << '\n';
        if (auto* l = qobject_cast<const QComboBox*>(c))
            out << name << '=' << l->currentIndex() << ' ' << l->currentText().toStdString() << '/'
                << l->count() << '\n';
    }
    for (const QLabel* l : {w.LabelP, w.LabelPreset})
        out << l->objectName().toStdString() << '=' << l->text().toStdString() << '\n';
    out << "ImageCnt=" << w.ImageCnt->text().toStdString() << ' ' << w.ImageCnt->Picture().width()
        << '\n';
    for (const QAction* paste : w.PasteItems)
        out << paste->objectName().toStdString() << '=' << paste->isEnabled() << '\n';
    return out.str();
}

void Send(TFormMain& w, uint8_t status, uint8_t data1, uint8_t data2 = 0, uint32_t source = 1,
          uint32_t number = MM_MIM_DATA) {
    PostMessage(&w, number, source, PackShortMessage({status, data1, data2}));
    QCoreApplication::sendPostedEvents(&w, PostedMessage::EventType());
}

void Pick(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    RunComboBoxSelect(list);
}

// Presets of every kind, with settings that move every main control.
void MakeBanks(const TempFolder& folder) {
    const auto Put = [&folder](const fs::path& relative, const std::vector<uint8_t>& bytes) {
        folder.Put(relative, bytes);
    };
    SynthPatch patch;
    for (int op = 0; op < kOperatorCount; ++op)
        patch.Ops[op] = {static_cast<uint8_t>(0xE1 + op), static_cast<uint8_t>(0x45 + 7 * op),
                         static_cast<uint8_t>(0x3A + op), static_cast<uint8_t>(0x27 + 16 * op),
                         static_cast<uint8_t>(op)};
    patch.RegC0Ops12 = 0x0B;
    patch.RegC0Ops34 = 0x31;
    patch.RegC0Ops56 = 0x25;
    PatchSettings settings{0x15, 0, -1200, 5, 700, 0x05, 3, 22, -20};
    Put("6op/Brass.sbi", EncodePreset(PresetKind::SixOperator, "Brass", patch, settings));
    patch.Ops[0].Reg40 = 0x00;
    settings = {0x3F, 0, 10, -10, 0, 0x0A, 0, 31, 63};
    Put("6op/Organ.sbi", EncodePreset(PresetKind::SixOperator, "Organ", patch, settings));
    Put("6op/Broken.sbi", {1, 2, 3});
    Put("4op/Lead.sbi", EncodePreset(PresetKind::FourOperator, "Lead", patch, settings));
    patch.Ops[4] = {0x21, 0x10, 0xF2, 0x54, 3};
    Put("2op/Pluck.sbi", EncodePreset(PresetKind::TwoOperator, "Pluck", patch, settings));
}

// A user's edit of every control of every frame, then of the voice and output.
void AddEdits(std::vector<Step>& steps) {
    for (int op = 0; op < kOperatorCount; ++op) {
        const std::string at = "op" + std::to_string(op + 1) + " ";
        steps.push_back({at + "cc on",
                         [op](TFormMain& w) { w.OperatorFrames[op]->SetCcEnabled(op % 2 == 0); }});
        steps.push_back({at + "bars", [op](TFormMain& w) {
                             TFrameOp& f = *w.OperatorFrames[op];
                             f.TrackBarAttack->setValue(3 + op);
                             f.TrackBarDecay->setValue(9 - op);
                             f.TrackBarSustain->setValue(op);
                             f.TrackBarRelease->setValue(14);
                             f.TrackBarVolume->setValue(40 + op);
                         }});
        steps.push_back({at + "checks", [op](TFormMain& w) {
                             TFrameOp& f = *w.OperatorFrames[op];
                             f.CheckBoxTremolo->setChecked(true);
                             f.CheckBoxVibrato->setChecked(op % 2);
                             f.CheckBoxRateScaling->setChecked(true);
                             f.CheckBoxHold->setChecked(op > 2);
                         }});
        steps.push_back({at + "lists", [op](TFormMain& w) {
                             TFrameOp& f = *w.OperatorFrames[op];
                             Pick(f.ComboBoxWS, op + 1);
                             Pick(f.ComboBoxLevelScaling, op % 4);
                             Pick(f.ComboBoxFreqMultiplier, 2 * op);
                             Pick(f.ComboBoxFreqMultiplier, 2 * op); // the same item again
                         }});
    }
    steps.push_back({"outputs", [](TFormMain& w) {
                         w.CheckBoxA->setChecked(false);
                         w.CheckBoxB2->setChecked(false);
                         w.CheckBoxB2->setChecked(true);
                     }});
    steps.push_back({"voice lists", [](TFormMain& w) {
                         Pick(w.ComboBoxFB, 3);
                         Pick(w.ComboBoxFB2, 6);
                         Pick(w.ComboBoxCNT, 2);
                         Pick(w.ComboBoxTD, 1);
                         Pick(w.ComboBoxVD, 1);
                         Pick(w.ComboBoxCNT, 2);
                     }});
    steps.push_back({"volume pan mute", [](TFormMain& w) {
                         w.TrackBarVolume->setValue(10);
                         w.TrackBarPan->setValue(32);
                         w.CheckBoxMute->setChecked(true);
                         w.TrackBarPan->setValue(-64);
                         w.CheckBoxMute->setChecked(false);
                     }});
    steps.push_back({"label clicks", [](TFormMain& w) {
                         w.LabelVolumeClick();
                         w.LabelPanClick();
                         w.LabelVolumeClick();
                     }});
    steps.push_back({"copy paste", [](TFormMain& w) {
                         w.Copy1Click(w.CopyItems[0]);
                         w.Paste1Click(w.PasteItems[5]);
                         w.Paste1Click(w.PasteItems[1]);
                     }});
    steps.push_back({"clear", [](TFormMain& w) { w.OperatorFrames[2]->MenuItemClearClick(); }});
    steps.push_back({"tunings typed", [](TFormMain& w) {
                         w.ComboBoxTR1->setEditText("+1200");
                         w.ComboBoxTR2->setEditText("-5 cents");
                         w.ComboBoxTranspose->setEditText("+10");
                     }});
}

void AddMidi(std::vector<Step>& steps) {
    steps.push_back({"notes", [](TFormMain& w) {
                         Send(w, 0x90, 60, 100);
                         Send(w, 0x90, 64, 1);
                         Send(w, 0x90, 60, 90); // sounds already
                         Send(w, 0x80, 60, 0);
                         Send(w, 0x90, 64, 0);
                         Send(w, 0x91, 50, 100); // another channel
                         Send(w, 0xA0, 50, 100); // pressure: ignored
                         Send(w, 0x90, 67, 127, 1, MM_MIM_MOREDATA);
                         Send(w, 0x90, 69, 127, 1, 964);
                     }});
    steps.push_back({"bends", [](TFormMain& w) {
                         for (uint8_t d : {0, 63, 64, 65, 127})
                             Send(w, 0xE0, 0x7F, d);
                     }});
    steps.push_back({"chord", [](TFormMain& w) {
                         w.CheckBoxChorder->setChecked(true);
                         for (uint8_t n : {40, 50, 60})
                             Send(w, 0x90, n, 70);
                         Send(w, 0x80, 50);
                         w.CheckBoxChorder->setChecked(false);
                         Send(w, 0x80, 40);
                     }});
    steps.push_back({"channel 3 and the keyboard", [](TFormMain& w) {
                         w.ComboBoxMidiChannel->setCurrentIndex(2);
                         Send(w, 0x90, 72, 30);
                         Send(w, 0x92, 73, 30);
                         Send(w, 0x90, 74, 127, KeyboardSource);
                         Send(w, 0x80, 74, 0, KeyboardSource);
                         Send(w, 0xB2, 123, 0);
                         w.ComboBoxMidiChannel->setCurrentIndex(0);
                     }});
    steps.push_back({"all notes off", [](TFormMain& w) {
                         Send(w, 0x90, 30, 10);
                         Send(w, 0x90, 31, 10);
                         Send(w, 0xB0, 120, 0);
                         Send(w, 0x90, 32, 10);
                         Send(w, 0xB0, 123, 0);
                     }});
}

// Every row bound (rows without a default number take 20 + row), at values
// across the range, with a CC frame and without.
void AddControllers(std::vector<Step>& steps) {
    steps.push_back({"bind", [](TFormMain& w) {
                         ValueListEditor& rows = *w.ControllerForm->ValueListEditorCc;
                         for (int row = 0; row < rows.RowCount(); ++row)
                             if (rows.Value(rows.Key(row)) == "-1")
                                 rows.SetValue(rows.Key(row), QString::number(20 + row));
                         w.OperatorFrames[1]->SetCcEnabled(true);
                     }});
    const int numbers[] = {6,  7,  10, 93, 5,  25, 26, 27, 28, 29, 91,
                           31, 32, 33, 74, 71, 76, 73, 75, 78, 72, 77};
    int row = 0;
    for (int number : numbers) {
        steps.push_back({"controller row " + std::to_string(row++), [number](TFormMain& w) {
                             for (uint8_t v : {0, 1, 37, 64, 64, 100, 127, 200})
                                 Send(w, 0xB0, static_cast<uint8_t>(number), v);
                         }});
    }
    steps.push_back({"controllers typed over", [](TFormMain& w) {
                         w.ComboBoxTranspose->setEditText("typed");
                         Send(w, 0xB0, 6, 64);
                         Send(w, 0xB0, 6, 64);
                         w.ComboBoxTR1->setEditText("-5");
                         Send(w, 0xB0, 5, 64);
                         ValueListEditor& rows = *w.ControllerForm->ValueListEditorCc;
                         rows.SetValue("Master Volume ", "07");
                         Send(w, 0xB0, 7, 3);
                         rows.SetValue("Operator 1 Feedback Modulation", "7");
                         Send(w, 0xB0, 7, 100);
                     }});
    steps.push_back({"velocity", [](TFormMain& w) {
                         Send(w, 0x90, 60, 64);
                         Send(w, 0x90, 61, 1);
                         Send(w, 0x80, 60);
                         Send(w, 0x80, 61);
                     }});
}

void AddPresets(std::vector<Step>& steps) {
    steps.push_back({"program changes", [](TFormMain& w) {
                         Send(w, 0xC0, 1);
                         Send(w, 0xC0, 0); // Brass
                         Send(w, 0xC0, 2); // Organ
                         Send(w, 0xC0, 3); // past the list
                         Send(w, 0xC1, 0); // another channel
                     }});
    steps.push_back({"keyboard steps", [](TFormMain& w) {
                         for (uint8_t d : {0x01, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0xFF})
                             Send(w, 0xC0, 0, d, KeyboardSource);
                     }});
    steps.push_back({"pick and type", [](TFormMain& w) {
                         Pick(w.ComboBoxPreset, 0);
                         w.ComboBoxPreset->setEditText("organ");
                         w.ComboBoxPresetKeyUp(65);
                         w.ComboBoxPresetKeyUp(13);
                         w.ComboBoxPreset->setEditText("nothing");
                         w.ComboBoxPresetKeyUp(13);
                         w.ComboBoxPresetKeyUp(65);
                     }});
    steps.push_back({"reset", [](TFormMain& w) {
                         w.ButtonResetClick();
                         w.ComboBoxPreset->setEditText("Brass");
                         w.ButtonResetClick();
                         Send(w, 0x90, 60, 100);
                         w.ComboBoxPreset->setEditText("Default");
                         w.ButtonResetClick();
                     }});
    steps.push_back({"save", [](TFormMain& w) {
                         BoxCatcher boxes;
                         w.OperatorFrames[0]->TrackBarVolume->setValue(50);
                         w.ComboBoxPreset->setEditText("Saved");
                         w.ButtonSavePresetClick();
                         w.ComboBoxPreset->setEditText("");
                         w.ButtonSavePresetClick();
                         Send(w, 0xC0, 3);
                     }});
    steps.push_back({"banks", [](TFormMain& w) {
                         Pick(w.ComboBoxBank, 1);
                         Send(w, 0xC0, 0);
                         Pick(w.ComboBoxBank, 0);
                         Send(w, 0xC0, 0, 1, KeyboardSource);
                         Pick(w.ComboBoxBank, 2);
                         Send(w, 0xC0, 0, 0xFF, KeyboardSource);
                     }});
    steps.push_back({"default", [](TFormMain& w) {
                         w.ComboBoxPreset->setEditText("Default");
                         w.ComboBoxPresetKeyUp(13);
                         w.LoadPresetByName("Default");
                     }});
}

struct Recorded {
    std::string line, dump;
};

Recorded Record(const std::string& name, const PortRecorder& rec, const TFormMain* w) {
    const std::string trace = TraceText(rec);
    const std::string view = w ? ViewText(*w) : "";
    std::ostringstream line;
    line << name << ": " << rec.Accesses().size() << " accesses " << std::hex
         << Fnv(0xcbf29ce484222325ull, trace) << " view " << Fnv(0xcbf29ce484222325ull, view);
    return {line.str(), "== " + name + "\n" + trace + view};
}

std::vector<Recorded> RunSession() {
    std::vector<Recorded> out;
    for (uint16_t volume : {0x0606, 0x001F, 0x0F00, 0x8606, 0x1F1F}) {
        auto s = std::make_unique<Started>(volume);
        out.push_back(Record("start " + std::to_string(volume), s->rec, s->form.get()));
        s->rec.Clear();
        s->form.reset();
        out.push_back(Record("stop " + std::to_string(volume), s->rec, nullptr));
    }

    const TempFolder folder("traces");
    const fs::path& root = folder.root;
    MakeBanks(folder);
    std::vector<Step> steps;
    AddEdits(steps);
    AddMidi(steps);
    AddControllers(steps);
    AddPresets(steps);
    AddMidi(steps); // once more on the last preset
    {
        Started s(0x0606, root);
        out.push_back(Record("start with banks", s.rec, s.form.get()));
        for (const Step& step : steps) {
            s.rec.Clear();
            step.run(*s.form);
            out.push_back(Record(step.name, s.rec, s.form.get()));
        }
        s.rec.Clear();
        s.form.reset();
        out.push_back(Record("stop with banks", s.rec, nullptr));
    }
    return out;
}

TEST(Traces, EveryStepSendsAndShowsWhatItAlwaysHas) {
    const std::vector<Recorded> session = RunSession();
    if (const char* dump = std::getenv("VI801_TRACE_DUMP")) {
        std::ofstream out(dump);
        for (const Recorded& r : session)
            out << r.dump;
    }
    if (const char* write = std::getenv("VI801_TRACE_WRITE")) {
        std::ofstream out(write);
        for (const Recorded& r : session)
            out << r.line << '\n';
        return;
    }
    std::ifstream golden(VI801_SOURCE_DIR "/tests/ui/traces.golden");
    ASSERT_TRUE(golden) << "no tests/ui/traces.golden";
    std::string line;
    size_t i = 0;
    for (; std::getline(golden, line); ++i) {
        ASSERT_LT(i, session.size()) << "the session ends before " << line;
        EXPECT_EQ(session[i].line, line);
    }
    EXPECT_EQ(i, session.size());
}

} // namespace
