#include "bankwriters.h"

#include "hardware/littleendian.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr uint8_t kCnt = 0x01;

void Put(BankBytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

// A zero-terminated name in a field of `size` bytes.
void PutName(BankBytes& out, const std::string& name, size_t size) {
    const size_t n = std::min(name.size(), size - 1);
    out.insert(out.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
    out.resize(out.size() + size - n, 0);
}

void PutBigEndian16(BankBytes& out, int value) {
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

// Cents back to 1/64 semitone steps.
int DetuneSteps(const BankInstrument& i) {
    return i.FineTune * 64 / 100;
}

const BankInstrument* At(const Instruments& all, size_t index) {
    const auto it = std::find_if(all.begin(), all.end(),
                                 [index](const BankInstrument& i) { return i.Index == index; });
    return it == all.end() ? nullptr : &*it;
}

void PutTimbre(BankBytes& out, const OperatorPair& p) {
    const OperatorPatch &m = p.Modulator, &c = p.Carrier;
    for (uint8_t b : {m.Reg20, c.Reg20, m.Reg40, c.Reg40, m.Reg60, c.Reg60, m.Reg80, c.Reg80,
                      m.RegE0, c.RegE0, p.RegC0})
        out.push_back(b);
}

// The 16-byte timbre with its percussion voice, offset and note.
void PutSbTimbre(BankBytes& out, const BankInstrument& i) {
    PutTimbre(out, i.Pairs[0]);
    out.push_back(i.Percussion ? 6 : 0);
    out.push_back(static_cast<uint8_t>(i.NoteOffset[0]));
    out.push_back(i.FixedNote.value_or(0));
    out.resize(out.size() + 2, 0);
}

void PutWoplOperator(BankBytes& out, const OperatorPatch& o) {
    for (uint8_t b : {o.Reg20, o.Reg40, o.Reg60, o.Reg80, o.RegE0})
        out.push_back(b);
}

void PutWoplEntry(BankBytes& out, const BankInstrument* i, int version) {
    const size_t start = out.size();
    const size_t size = version >= 3 ? 66 : 62;
    if (!i) {
        out.resize(start + size, 0);
        out[start + 39] = 0x04; // blank
        return;
    }
    PutName(out, i->Name, 32);
    PutBigEndian16(out, i->NoteOffset[0]);
    PutBigEndian16(out, i->NoteOffset[1]);
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(DetuneSteps(*i)));
    out.push_back(i->FixedNote.value_or(0));
    out.push_back(i->Layout == VoiceLayout::FourOperator ? 0x01
                  : i->Layout == VoiceLayout::TwoPairs   ? 0x02
                                                         : 0x00);
    out.push_back(i->Pairs[0].RegC0);
    out.push_back(i->Pairs[1].RegC0);
    for (const OperatorPair& p : i->Pairs) {
        PutWoplOperator(out, p.Carrier);
        PutWoplOperator(out, p.Modulator);
    }
    out.resize(start + size, 0);
}

void PutOp2Voice(BankBytes& out, const OperatorPair& p, int16_t offset) {
    for (const OperatorPatch* o : {&p.Modulator, &p.Carrier}) {
        for (uint8_t b :
             {o->Reg20, o->Reg60, o->Reg80, o->RegE0, static_cast<uint8_t>(o->Reg40 & 0xC0),
              static_cast<uint8_t>(o->Reg40 & 0x3F)})
            out.push_back(b);
        if (o == &p.Modulator) out.push_back(p.RegC0);
    }
    out.push_back(0);
    out.resize(out.size() + 2);
    WriteLittleEndian(&out[out.size() - 2], offset);
}

// One operator as 13 separate fields.
void PutBnkOperator(BankBytes& out, const OperatorPatch& o, uint8_t regC0, bool modulator) {
    const uint8_t fields[13] = {static_cast<uint8_t>(o.Reg40 >> 6),
                                static_cast<uint8_t>(o.Reg20 & 0x0F),
                                static_cast<uint8_t>(modulator ? (regC0 >> 1) & 7 : 0),
                                static_cast<uint8_t>(o.Reg60 >> 4),
                                static_cast<uint8_t>(o.Reg80 >> 4),
                                static_cast<uint8_t>((o.Reg20 >> 5) & 1),
                                static_cast<uint8_t>(o.Reg60 & 0x0F),
                                static_cast<uint8_t>(o.Reg80 & 0x0F),
                                static_cast<uint8_t>(o.Reg40 & 0x3F),
                                static_cast<uint8_t>(o.Reg20 >> 7),
                                static_cast<uint8_t>((o.Reg20 >> 6) & 1),
                                static_cast<uint8_t>((o.Reg20 >> 4) & 1),
                                static_cast<uint8_t>(modulator && !(regC0 & kCnt) ? 1 : 0)};
    out.insert(out.end(), fields, fields + 13);
}

} // namespace

BankBytes WriteWopl(int version, const Instruments& instruments) {
    const bool drums = std::any_of(instruments.begin(), instruments.end(),
                                   [](const BankInstrument& i) { return i.Percussion; });
    BankBytes out;
    Put(out, std::string_view("WOPL3-BANK\0", 11));
    out.resize(out.size() + 2);
    WriteLittleEndian(&out[11], static_cast<uint16_t>(version));
    PutBigEndian16(out, 1);
    PutBigEndian16(out, drums ? 1 : 0);
    out.push_back(0);
    out.push_back(0);
    if (version >= 2)
        for (const char* name : {"Melodic", "Drums"}) {
            if (name[0] == 'D' && !drums) break;
            PutName(out, name, 32);
            out.resize(out.size() + 2, 0);
        }
    for (size_t n = 0; n < (drums ? 256u : 128u); ++n)
        PutWoplEntry(out, At(instruments, n), version);
    return out;
}

BankBytes WriteOpli(const BankInstrument& instrument) {
    BankBytes out;
    Put(out, std::string_view("WOPL3-INST\0", 11));
    out.push_back(2);
    out.push_back(0);
    out.push_back(instrument.Percussion ? 1 : 0);
    PutWoplEntry(out, &instrument, 2);
    return out;
}

BankBytes WriteOp2(const Instruments& instruments) {
    BankBytes out;
    Put(out, "#OPL_II#");
    for (size_t n = 0; n < 175; ++n) {
        const BankInstrument* i = At(instruments, n);
        if (!i) {
            out.resize(out.size() + 36, 0);
            continue;
        }
        const uint16_t flags =
            (i->FixedNote ? 0x01 : 0) | (i->Layout == VoiceLayout::TwoPairs ? 0x04 : 0);
        AppendLittleEndian(out, flags);
        out.push_back(static_cast<uint8_t>(128 + DetuneSteps(*i)));
        out.push_back(i->FixedNote.value_or(0));
        PutOp2Voice(out, i->Pairs[0], i->NoteOffset[0]);
        PutOp2Voice(out, i->Pairs[1], i->NoteOffset[1]);
    }
    for (size_t n = 0; n < 175; ++n)
        PutName(out, At(instruments, n) ? At(instruments, n)->Name : "", 32);
    return out;
}

BankBytes WriteTmb(const Instruments& instruments) {
    BankBytes out;
    for (size_t n = 0; n < 256; ++n) {
        const BankInstrument* i = At(instruments, n);
        if (!i) {
            out.resize(out.size() + 13, 0);
            continue;
        }
        PutTimbre(out, i->Pairs[0]);
        out.push_back(i->Percussion ? i->FixedNote.value_or(0)
                                    : static_cast<uint8_t>(i->NoteOffset[0]));
        out.push_back(0);
    }
    return out;
}

BankBytes WriteIbk(const Instruments& instruments) {
    BankBytes out;
    Put(out, "IBK\x1A");
    for (size_t n = 0; n < 128; ++n) {
        if (const BankInstrument* i = At(instruments, n))
            PutSbTimbre(out, *i);
        else
            out.resize(out.size() + 16, 0);
    }
    for (size_t n = 0; n < 128; ++n)
        PutName(out, At(instruments, n) ? At(instruments, n)->Name : "", 9);
    return out;
}

BankBytes WriteBnk(const Instruments& instruments) {
    const size_t used = instruments.size(), names = used + 1;
    BankBytes out = {1, 0};
    Put(out, "ADLIB-");
    AppendLittleEndian(out, static_cast<uint16_t>(used));
    AppendLittleEndian(out, static_cast<uint16_t>(names));
    AppendLittleEndian(out, uint32_t{28});
    AppendLittleEndian(out, static_cast<uint32_t>(28 + 12 * names));
    out.resize(28, 0);
    for (size_t k = 0; k < used; ++k) {
        AppendLittleEndian(out, static_cast<uint16_t>(used - 1 - k));
        out.push_back(1);
        PutName(out, instruments[k].Name, 9);
    }
    AppendLittleEndian(out, uint16_t{0});
    out.push_back(0); // not in use
    PutName(out, "UNUSED", 9);
    for (size_t k = used; k-- > 0;) {
        const BankInstrument& i = instruments[k];
        const OperatorPair& p = i.Pairs[0];
        out.push_back(i.Percussion ? 1 : 0);
        out.push_back(i.Percussion ? 6 : 0);
        PutBnkOperator(out, p.Modulator, p.RegC0, true);
        PutBnkOperator(out, p.Carrier, p.RegC0, false);
        out.push_back(p.Modulator.RegE0);
        out.push_back(p.Carrier.RegE0);
    }
    return out;
}

BankBytes WriteSbi(SbiRecord record, const Instruments& instruments) {
    BankBytes out;
    for (const BankInstrument& i : instruments) {
        Put(out, record == SbiRecord::FourOp      ? "4OP\x1A"
                 : record == SbiRecord::TwoOpOpl3 ? "2OP\x1A"
                                                  : "SBI\x1A");
        PutName(out, i.Name, 32);
        if (record == SbiRecord::Sbi) {
            PutSbTimbre(out, i);
            continue;
        }
        PutTimbre(out, i.Pairs[0]);
        if (record == SbiRecord::SbiUnpadded) continue;
        PutTimbre(out, i.Pairs[1]);
        out.resize(out.size() + 2, 0);
    }
    return out;
}

BankInstrument SampleInstrument(int seed, VoiceLayout layout, const std::string& name) {
    uint32_t state = 2654435761u * static_cast<uint32_t>(seed + 1);
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<uint8_t>(state >> 24);
    };
    BankInstrument i;
    i.Name = name;
    i.Layout = layout;
    const size_t pairs = layout == VoiceLayout::OnePair ? 1 : 2;
    for (size_t p = 0; p < pairs; ++p) {
        for (OperatorPatch* o : {&i.Pairs[p].Modulator, &i.Pairs[p].Carrier})
            *o = {next(), next(), next(), next(), static_cast<uint8_t>(next() & 0x07)};
        i.Pairs[p].RegC0 = next() & 0x0F;
    }
    if (layout == VoiceLayout::FourOperator) i.Pairs[1].RegC0 &= kCnt;
    return i;
}
