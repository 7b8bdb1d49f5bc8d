// The journal file: records written ahead of each change, and read back.
#include "Journal.h"

#include <cstring>

#include "LittleEndian.h"
#include "LogMemory.h"

namespace {

// A record's size field, kind and field count come before its fields.
constexpr uint32_t SizeFieldSize = 4;
constexpr uint32_t BodyHeadSize = 8;

// The check that starts the chain: the digest of the magic.
void FirstCheck(uint8_t (&check)[Sha256Size])
{
    Sha256 hash;
    hash.Update(JournalMagic, JournalMagicSize);
    hash.Finish(check);
}

// The check of a record: the previous check, then the record's bytes from
// its size field to its last field.
void RecordCheck(const uint8_t (&previous)[Sha256Size], const uint8_t* record, size_t size,
                 uint8_t (&check)[Sha256Size])
{
    Sha256 hash;
    hash.Update(previous, Sha256Size);
    hash.Update(record, size);
    hash.Finish(check);
}

void AddField(JournalRecord* record, const uint8_t* bytes, uint32_t size)
{
    if (record->fieldCount >= JournalFieldLimit)
        return;
    record->fields[record->fieldCount++] = {bytes, size};
}

// The body's size, or more than JournalBodyLimit when it would not be
// accepted.
uint64_t BodySize(const JournalRecord& record)
{
    uint64_t size = BodyHeadSize;
    for (uint32_t i = 0; i < record.fieldCount; ++i)
        size += 4 + (record.fields[i].bytes ? record.fields[i].size : 0);
    return size;
}

// Decodes the body at `body` of `size` bytes; false when its fields do not
// fill it exactly.
bool DecodeBody(const uint8_t* body, uint32_t size, JournalRecord* record)
{
    if (size < BodyHeadSize)
        return false;
    record->kind = ReadLittle32(body);
    uint32_t count = ReadLittle32(body + 4);
    if (count > JournalFieldLimit)
        return false;
    record->fieldCount = count;
    uint32_t at = BodyHeadSize;
    for (uint32_t i = 0; i < count; ++i) {
        if (size - at < 4)
            return false;
        uint32_t fieldSize = ReadLittle32(body + at);
        at += 4;
        if (fieldSize == JournalFieldAbsent) {
            record->fields[i] = {nullptr, 0};
            continue;
        }
        if (fieldSize > size - at)
            return false;
        record->fields[i] = {body + at, fieldSize};
        at += fieldSize;
    }
    return at == size;
}

}  // namespace

void JournalStart(JournalRecord* record, uint32_t kind)
{
    memset(record, 0, sizeof *record);
    record->kind = kind;
}

void JournalAddText(JournalRecord* record, const char* text)
{
    if (!text) {
        AddField(record, nullptr, 0);
        return;
    }
    AddField(record, reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(strlen(text) + 1));
}

void JournalAddNumber(JournalRecord* record, uint32_t number)
{
    if (record->fieldCount >= JournalFieldLimit)
        return;
    uint8_t* room = record->numbers[record->fieldCount];
    WriteLittle32(room, number);
    AddField(record, room, 4);
}

void JournalAddBytes(JournalRecord* record, const void* bytes, uint32_t size)
{
    AddField(record, static_cast<const uint8_t*>(bytes), bytes ? size : 0);
}

bool JournalPresent(const JournalRecord& record, uint32_t field)
{
    return field < record.fieldCount && record.fields[field].bytes != nullptr;
}

const char* JournalText(const JournalRecord& record, uint32_t field)
{
    if (!JournalPresent(record, field))
        return nullptr;
    const JournalField& f = record.fields[field];
    if (f.size == 0 || f.bytes[f.size - 1] != 0 || memchr(f.bytes, 0, f.size - 1) != nullptr)
        return nullptr;
    return reinterpret_cast<const char*>(f.bytes);
}

bool JournalNumber(const JournalRecord& record, uint32_t field, uint32_t* number)
{
    if (!JournalPresent(record, field) || record.fields[field].size != 4)
        return false;
    *number = ReadLittle32(record.fields[field].bytes);
    return true;
}

// ---------------------------------------------------------------------------
// Writing

namespace {

int StartWriter(JournalWriter* writer)
{
    writer->open = true;
    writer->records = 0;
    writer->flushes = 0;
    FirstCheck(writer->check);
    if (!LogFileWrite(&writer->file, JournalMagic, JournalMagicSize)) {
        LogFileClose(&writer->file);
        writer->open = false;
        return 0;
    }
    return 1;
}

}  // namespace

int JournalCreate(JournalWriter* writer, const char* path)
{
    memset(writer, 0, sizeof *writer);
    if (!LogFileCreateShared(&writer->file, path))
        return 0;
    return StartWriter(writer);
}

void JournalCreateMemory(JournalWriter* writer)
{
    memset(writer, 0, sizeof *writer);
    LogFileCreateMemory(&writer->file);
    StartWriter(writer);
}

const uint8_t* JournalWriterBytes(const JournalWriter* writer, size_t* size)
{
    *size = writer->file.size;
    return writer->file.bytes;
}

int JournalAppend(JournalWriter* writer, const JournalRecord& record)
{
    if (!writer->open || record.fieldCount > JournalFieldLimit)
        return 0;
    uint64_t body = BodySize(record);
    if (body > JournalBodyLimit)
        return 0;
    size_t total = SizeFieldSize + static_cast<size_t>(body) + Sha256Size;

    // Small records, nearly all of them, are made on the stack.
    uint8_t local[1024];
    uint8_t* bytes = total <= sizeof local ? local : static_cast<uint8_t*>(LogAllocate(total, 1));
    if (!bytes)
        return 0;
    WriteLittle32(bytes, static_cast<uint32_t>(body));
    WriteLittle32(bytes + 4, record.kind);
    WriteLittle32(bytes + 8, record.fieldCount);
    size_t at = SizeFieldSize + BodyHeadSize;
    for (uint32_t i = 0; i < record.fieldCount; ++i) {
        const JournalField& field = record.fields[i];
        WriteLittle32(bytes + at, field.bytes ? field.size : JournalFieldAbsent);
        at += 4;
        if (field.bytes && field.size) {
            memcpy(bytes + at, field.bytes, field.size);
            at += field.size;
        }
    }
    uint8_t check[Sha256Size];
    RecordCheck(writer->check, bytes, at, check);
    memcpy(bytes + at, check, Sha256Size);

    int written = LogFileWrite(&writer->file, bytes, static_cast<uint32_t>(total));
    if (bytes != local)
        LogFree(bytes);
    if (!written)
        return 0;
    memcpy(writer->check, check, Sha256Size);
    ++writer->records;
    return 1;
}

int JournalFlush(JournalWriter* writer)
{
    if (!writer->open || !LogFileFlush(&writer->file))
        return 0;
    ++writer->flushes;
    return 1;
}

int JournalClose(JournalWriter* writer)
{
    if (!writer->open)
        return 1;
    writer->open = false;
    if (writer->file.isMemory)
        return 1;
    return LogFileClose(&writer->file);
}

void JournalReleaseWriter(JournalWriter* writer)
{
    if (writer->file.isMemory || writer->open)
        LogFileClose(&writer->file);
    memset(writer, 0, sizeof *writer);
}

// ---------------------------------------------------------------------------
// Reading

namespace {

// Indexes the records of journal->bytes.
JournalLoadStatus IndexRecords(Journal* journal)
{
    if (journal->size < JournalMagicSize || memcmp(journal->bytes, JournalMagic, JournalMagicSize) != 0)
        return JournalNotAJournal;

    uint8_t check[Sha256Size];
    FirstCheck(check);
    size_t at = JournalMagicSize;
    uint32_t count = 0;
    size_t capacity = 64;
    size_t* offsets = static_cast<size_t*>(LogAllocate(capacity, sizeof(size_t)));
    if (!offsets)
        return JournalNoMemory;
    while (journal->size - at >= SizeFieldSize) {
        uint32_t body = ReadLittle32(journal->bytes + at);
        if (body > JournalBodyLimit || body + Sha256Size > journal->size - at - SizeFieldSize)
            break;
        JournalRecord record;
        if (!DecodeBody(journal->bytes + at + SizeFieldSize, body, &record))
            break;
        uint8_t expected[Sha256Size];
        RecordCheck(check, journal->bytes + at, SizeFieldSize + body, expected);
        if (memcmp(expected, journal->bytes + at + SizeFieldSize + body, Sha256Size) != 0)
            break;
        if (count == capacity) {
            size_t* grown = static_cast<size_t*>(LogResize(offsets, capacity * 2 * sizeof(size_t)));
            if (!grown) {
                LogFree(offsets);
                return JournalNoMemory;
            }
            offsets = grown;
            capacity *= 2;
        }
        offsets[count++] = at;
        memcpy(check, expected, Sha256Size);
        at += SizeFieldSize + body + Sha256Size;
    }
    journal->offsets = offsets;
    journal->count = count;
    journal->ended = at != journal->size;
    return JournalLoaded;
}

}  // namespace

JournalLoadStatus JournalLoadBytes(Journal* journal, const void* bytes, size_t size)
{
    JournalRelease(journal);
    journal->bytes = static_cast<uint8_t*>(LogAllocate(size ? size : 1, 1));
    if (!journal->bytes)
        return JournalNoMemory;
    if (size)
        memcpy(journal->bytes, bytes, size);
    journal->size = size;
    JournalLoadStatus status = IndexRecords(journal);
    if (status != JournalLoaded)
        JournalRelease(journal);
    return status;
}

JournalLoadStatus JournalLoad(Journal* journal, const char* path)
{
    JournalRelease(journal);
    LogFile file;
    if (!path || !LogFileOpenRead(&file, path))
        return JournalNoFile;
    uint64_t size = 0;
    JournalLoadStatus status = JournalLoaded;
    uint8_t* bytes = nullptr;
    if (!LogFileSize(&file, &size) || size > SIZE_MAX / 2) {
        status = JournalNoFile;
    } else if (!(bytes = static_cast<uint8_t*>(LogAllocate(size ? static_cast<size_t>(size) : 1, 1)))) {
        status = JournalNoMemory;
    } else {
        size_t got = 0;
        while (got < size) {
            uint32_t chunk = size - got > (1u << 30) ? (1u << 30) : static_cast<uint32_t>(size - got);
            uint32_t done = 0;
            if (!LogFileRead(&file, bytes + got, chunk, &done) || done == 0)
                break;
            got += done;
        }
        if (got != size)
            status = JournalNoFile;
    }
    LogFileClose(&file);
    if (status != JournalLoaded) {
        LogFree(bytes);
        return status;
    }
    journal->bytes = bytes;
    journal->size = static_cast<size_t>(size);
    status = IndexRecords(journal);
    if (status != JournalLoaded)
        JournalRelease(journal);
    return status;
}

bool JournalRecordAt(const Journal* journal, uint32_t index, JournalRecord* record)
{
    if (index >= journal->count)
        return false;
    memset(record, 0, sizeof *record);
    const uint8_t* at = journal->bytes + journal->offsets[index];
    return DecodeBody(at + SizeFieldSize, ReadLittle32(at), record);
}

void JournalRelease(Journal* journal)
{
    LogFree(journal->bytes);
    LogFree(journal->offsets);
    memset(journal, 0, sizeof *journal);
}
