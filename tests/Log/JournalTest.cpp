// The installation journal's file: records read back as written, and a
// journal cut short, damaged or spliced read only up to the last good record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Journal.h"
#include "LittleEndian.h"
#include "LogTestSupport.h"

using logtest::ReadBytes;
using logtest::ScratchDir;
using logtest::WriteBytes;

namespace {

// One record as plain values: a field is absent (nullopt) or its bytes.
struct Plain {
    uint32_t kind;
    std::vector<std::optional<std::string>> fields;
    bool operator==(const Plain& o) const { return kind == o.kind && fields == o.fields; }
};

std::ostream& operator<<(std::ostream& out, const Plain& p)
{
    out << "kind " << p.kind << ":";
    for (const auto& f : p.fields)
        out << " " << (f ? "[" + *f + "]" : "-");
    return out;
}

JournalRecord ToRecord(const Plain& plain)
{
    JournalRecord record;
    JournalStart(&record, plain.kind);
    for (const auto& f : plain.fields)
        JournalAddBytes(&record, f ? f->data() : nullptr, f ? static_cast<uint32_t>(f->size()) : 0);
    return record;
}

Plain ToPlain(const JournalRecord& record)
{
    Plain plain{record.kind, {}};
    for (uint32_t i = 0; i < record.fieldCount; ++i) {
        const JournalField& f = record.fields[i];
        if (f.bytes)
            plain.fields.emplace_back(std::string(reinterpret_cast<const char*>(f.bytes), f.size));
        else
            plain.fields.emplace_back(std::nullopt);
    }
    return plain;
}

// The bytes of a journal of these records, and where each record ends.
std::string Write(const std::vector<Plain>& records, std::vector<size_t>* ends = nullptr)
{
    JournalWriter writer;
    JournalCreateMemory(&writer);
    for (const Plain& p : records) {
        EXPECT_EQ(JournalAppend(&writer, ToRecord(p)), 1) << p;
        if (ends)
            ends->push_back(writer.file.size);
    }
    size_t size = 0;
    const uint8_t* bytes = JournalWriterBytes(&writer, &size);
    std::string result(reinterpret_cast<const char*>(bytes), size);
    JournalReleaseWriter(&writer);
    return result;
}

std::vector<Plain> Read(const std::string& bytes, bool* ended = nullptr, JournalLoadStatus expected = JournalLoaded)
{
    Journal journal = {};
    EXPECT_EQ(JournalLoadBytes(&journal, bytes.data(), bytes.size()), expected);
    std::vector<Plain> records;
    JournalRecord record;
    for (uint32_t i = 0; JournalRecordAt(&journal, i, &record); ++i)
        records.push_back(ToPlain(record));
    if (ended)
        *ended = journal.ended;
    JournalRelease(&journal);
    return records;
}

const std::string Nul(1, '\0');

const std::vector<Plain> Sample = {
    {JournalBegin, {"run-1" + Nul, "Acme" + Nul, "Tool" + Nul, "C:\\Apps\\Tool" + Nul, std::nullopt}},
    {JournalFolderCreated, {"C:\\Apps" + Nul}},
    {JournalFileReplaced, {"C:\\Apps\\tool.exe" + Nul, "C:\\Apps\\~vm1.old" + Nul}},
    {JournalValueSet, {std::string("\x02\0\0\x80", 4), "Software\\Acme" + Nul, std::nullopt, std::nullopt, ""}},
    {JournalValueSet, {std::string("\x02\0\0\x80", 4), "Software\\Acme" + Nul, "Count" + Nul,
                       std::string("\x04\0\0\0", 4), std::string("\x01\0\0\0", 4)}},
    {JournalCommitted, {}},
};

TEST(Journal, RecordsReadBackAsWritten)
{
    bool ended = true;
    EXPECT_EQ(Read(Write(Sample), &ended), Sample);
    EXPECT_FALSE(ended);
    // No records at all: the magic alone.
    EXPECT_EQ(Write({}), "vmj1");
    EXPECT_TRUE(Read("vmj1", &ended).empty());
    EXPECT_FALSE(ended);
}

TEST(Journal, FieldsKeepTheirKind)
{
    JournalRecord record;
    JournalStart(&record, JournalValueSet);
    JournalAddNumber(&record, 0x80000002u);
    JournalAddText(&record, "Software\\Acme");
    JournalAddText(&record, nullptr);
    JournalAddText(&record, "");
    const std::string noNul = "abc";
    JournalAddBytes(&record, noNul.data(), 3);
    const std::string inner = std::string("a\0b", 3) + Nul;
    JournalAddBytes(&record, inner.data(), static_cast<uint32_t>(inner.size()));

    uint32_t number = 0;
    EXPECT_TRUE(JournalNumber(record, 0, &number));
    EXPECT_EQ(number, 0x80000002u);
    EXPECT_FALSE(JournalNumber(record, 1, &number));   // a text is no number
    EXPECT_STREQ(JournalText(record, 1), "Software\\Acme");
    EXPECT_FALSE(JournalPresent(record, 2));
    EXPECT_EQ(JournalText(record, 2), nullptr);
    EXPECT_STREQ(JournalText(record, 3), "");          // empty but present
    EXPECT_EQ(JournalText(record, 4), nullptr);        // no terminator
    EXPECT_EQ(JournalText(record, 5), nullptr);        // a NUL inside
    EXPECT_FALSE(JournalPresent(record, 6));           // past the last field
}

TEST(Journal, ACutJournalEndsAtTheLastWholeRecord)
{
    std::vector<size_t> ends;
    const std::string bytes = Write(Sample, &ends);
    for (size_t cut = JournalMagicSize; cut <= bytes.size(); ++cut) {
        size_t whole = 0;
        while (whole < ends.size() && ends[whole] <= cut)
            ++whole;
        bool ended = false;
        std::vector<Plain> read = Read(bytes.substr(0, cut), &ended);
        ASSERT_EQ(read.size(), whole) << "cut at " << cut;
        EXPECT_EQ(read, std::vector<Plain>(Sample.begin(), Sample.begin() + static_cast<long>(whole)));
        EXPECT_EQ(ended, whole == 0 ? cut != JournalMagicSize : cut != ends[whole - 1]) << "cut at " << cut;
    }
}

TEST(Journal, ADamagedByteEndsTheJournalBeforeItsRecord)
{
    std::vector<size_t> ends;
    const std::string bytes = Write(Sample, &ends);
    for (size_t at = JournalMagicSize; at < bytes.size(); ++at) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        size_t record = 0;
        while (ends[record] <= at)
            ++record;
        bool ended = false;
        std::vector<Plain> read = Read(damaged, &ended);
        EXPECT_EQ(read.size(), record) << "byte " << at;
        EXPECT_TRUE(ended);
    }
}

TEST(Journal, ARecordFromAnotherJournalDoesNotContinueTheChain)
{
    std::vector<size_t> endsA, endsB;
    const std::string a = Write(Sample, &endsA);
    const std::vector<Plain> other = {{JournalFolderCreated, {"C:\\Other" + Nul}},
                                      {JournalFileCreated, {"C:\\Windows\\system32\\kernel32.dll" + Nul}}};
    const std::string b = Write(other, &endsB);
    // B's second record, valid in B, put after A's records.
    const std::string spliced = a + b.substr(endsB[0], endsB[1] - endsB[0]);
    bool ended = false;
    EXPECT_EQ(Read(spliced, &ended), Sample);
    EXPECT_TRUE(ended);
    // The same record moved to the front of B's own chain is refused too.
    const std::string reordered = "vmj1" + b.substr(endsB[0], endsB[1] - endsB[0]);
    EXPECT_TRUE(Read(reordered, &ended).empty());
    EXPECT_TRUE(ended);
}

TEST(Journal, WhatIsNoJournal)
{
    EXPECT_TRUE(Read("", nullptr, JournalNotAJournal).empty());
    EXPECT_TRUE(Read("log1", nullptr, JournalNotAJournal).empty());
    EXPECT_TRUE(Read("vmj", nullptr, JournalNotAJournal).empty());
    Journal journal = {};
    EXPECT_EQ(JournalLoad(&journal, nullptr), JournalNoFile);
    ScratchDir dir;
    EXPECT_EQ(JournalLoad(&journal, dir.File("missing.journal").c_str()), JournalNoFile);
    JournalRelease(&journal);
}

TEST(Journal, ARecordTooLargeIsRefusedAndTheJournalGoesOn)
{
    JournalWriter writer;
    JournalCreateMemory(&writer);
    std::string big(JournalBodyLimit, 'x');
    JournalRecord record;
    JournalStart(&record, JournalValueSet);
    JournalAddBytes(&record, big.data(), static_cast<uint32_t>(big.size()));
    EXPECT_EQ(JournalAppend(&writer, record), 0);
    // Just within the limit: the body's head and the field's size count.
    JournalStart(&record, JournalValueSet);
    JournalAddBytes(&record, big.data(), JournalBodyLimit - 12);
    EXPECT_EQ(JournalAppend(&writer, record), 1);
    JournalStart(&record, JournalCommitted);
    EXPECT_EQ(JournalAppend(&writer, record), 1);
    size_t size = 0;
    const uint8_t* bytes = JournalWriterBytes(&writer, &size);
    std::vector<Plain> read = Read(std::string(reinterpret_cast<const char*>(bytes), size));
    JournalReleaseWriter(&writer);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].fields[0]->size(), JournalBodyLimit - 12);
    EXPECT_EQ(read[1].kind, JournalCommitted);
}

TEST(Journal, AFileOnDiskWithItsFlushes)
{
    ScratchDir dir;
    const std::string path = dir.File("run.journal");
    JournalWriter writer;
    ASSERT_EQ(JournalCreate(&writer, path.c_str()), 1);
    for (const Plain& p : Sample) {
        ASSERT_EQ(JournalAppend(&writer, ToRecord(p)), 1);
        // Before the flush the bytes are with the system already: another
        // reader sees them (a killed process loses nothing).
        std::vector<Plain> seen = Read(ReadBytes(path));
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), p);
        EXPECT_EQ(JournalFlush(&writer), 1);
    }
    EXPECT_EQ(writer.flushes, Sample.size());
    EXPECT_EQ(JournalClose(&writer), 1);

    Journal journal = {};
    ASSERT_EQ(JournalLoad(&journal, path.c_str()), JournalLoaded);
    EXPECT_EQ(journal.count, Sample.size());
    JournalRecord record;
    ASSERT_TRUE(JournalRecordAt(&journal, 2, &record));
    EXPECT_STREQ(JournalText(record, 1), "C:\\Apps\\~vm1.old");
    JournalRelease(&journal);

    // A file that holds a log, not a journal.
    WriteBytes(path, "log1");
    EXPECT_EQ(JournalLoad(&journal, path.c_str()), JournalNotAJournal);
}

}  // namespace
