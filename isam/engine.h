// SPDX-License-Identifier: GPL-3.0-or-later
// The indexed-file engine's interface (isam layer): plain functions over a
// file-block handle; every outcome is left in the global status (status.h).
// Every operation starts with ClearStatus and the entry check and runs only
// when that left EngineOK true.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "isam/status.h"

namespace qorvex {

struct TFileBlock;
using FileBlockHandle = TFileBlock*;
// The handle of engine-wide operations ("no file block", all bits set).
FileBlockHandle NoFileBlock();

struct KeyDescriptor {
  uint8_t keyLength = 0;   // 1..50
  uint8_t duplicates = 0;  // 1: duplicates allowed
};

inline constexpr int kMaxIndexes = 110;
// The engine's version text, checked by the driver at start.
inline constexpr std::string_view kEngineVersion = "05.53";
inline constexpr int kMaxKeyBytes = 50;

// Engine control.
int32_t InitEngine(uint8_t networkKind, int32_t pageBuffers);
void ExitEngine();
bool CheckEngineReady(bool keepStatus);
bool SetVariableBuffer(uint16_t size);
void ReleaseVariableBuffer();
// Default of the implicit-position flag that open gives every index.
void SetImplicitPosition(bool on);

// File blocks. A name is "data[;index]": the part before ';' names the data
// file, the part after it the index file (default: the same). Extensions
// ".DAT", ".IX", ".DIA" replace an extension after the last '/' or are added.
// keys[k-1] describes index k.
void CreateFileBlock(std::string_view name, int32_t recordLength, int32_t indexCount,
                     std::span<const KeyDescriptor> keys);
// For blocks shared between programs: creates the DAT and IX files only when
// the data file is missing, under an exclusive lock on the dialog file (kept
// in place), so that programs starting together make the files once. While
// another program has the block open or is creating it: 10355 (try again).
void CreateMissingFileBlock(std::string_view name, int32_t recordLength, int32_t indexCount,
                            std::span<const KeyDescriptor> keys);
// How a file block is opened: no-lock forces read-only, read-only switches
// save mode off, network counts only when the engine runs with kind 2.
struct OpenOptions {
  bool readOnly = false;
  bool network = false;
  bool saveMode = false;
  bool noLock = false;
};
void OpenFileBlock(FileBlockHandle& fb, std::string_view name, OpenOptions options);
void OpenFileBlock(FileBlockHandle& fb, std::string_view name, bool readOnly, bool network,
                   bool saveMode, bool noLock);
void CloseFileBlock(FileBlockHandle fb);
void DeleteFileBlock(std::string_view name);
void FlushFileBlock(FileBlockHandle fb);

// Fixed-length records; buffers hold RecordLength bytes, first word 0.
void AddRecord(FileBlockHandle fb, int32_t& ref, void* buffer);
void GetRecord(FileBlockHandle fb, int32_t ref, void* buffer, bool lockedByCaller);
void GetRecordLocked(FileBlockHandle fb, int32_t ref, void* buffer);
void PutRecord(FileBlockHandle fb, int32_t ref, void* buffer, bool skipLockCheck);
void DeleteRecord(FileBlockHandle fb, int32_t ref);
void ReadRecordMarker(FileBlockHandle fb, int32_t ref, int32_t& marker);
int32_t FileLength(FileBlockHandle fb);
int32_t RecordLength(FileBlockHandle fb);
// The indexes the open block has, and the layout of index k.
int32_t IndexCount(FileBlockHandle fb);
KeyDescriptor IndexLayout(FileBlockHandle fb, int keyNumber);

// Variable-length records as chains of sections of RecordLength bytes.
void AddVariableRecord(FileBlockHandle fb, int32_t& ref, const void* buffer, uint32_t length);
void PutVariableRecord(FileBlockHandle fb, int32_t ref, const void* buffer, uint32_t length);
void DeleteVariableRecord(FileBlockHandle fb, int32_t ref);
// length: in the room of buffer, out the bytes copied.
void GetVariableRecord(FileBlockHandle fb, int32_t ref, void* buffer, bool fileBlockLocked,
                       uint32_t& length);

// Keys (key number 1..index count; keys longer than 50 bytes are cut).
void AddKey(FileBlockHandle fb, int keyNumber, int32_t ref, std::string_view key);
void DeleteKey(FileBlockHandle fb, int keyNumber, int32_t ref, std::string_view key);
void FindKey(FileBlockHandle fb, int keyNumber, int32_t& ref, std::string_view key);
void FindKeyAndRef(FileBlockHandle fb, int keyNumber, int32_t& ref, int mode, std::string& key);
void SearchKey(FileBlockHandle fb, int keyNumber, int32_t& ref, std::string& key);
void SearchKeyOrLast(FileBlockHandle fb, int keyNumber, int32_t& ref, std::string& key);
void NextKey(FileBlockHandle fb, int keyNumber, int32_t& ref, std::string& key);
void PrevKey(FileBlockHandle fb, int keyNumber, int32_t& ref, std::string& key);
void ClearKey(FileBlockHandle fb, int keyNumber);
bool KeyExists(FileBlockHandle fb, int keyNumber, int32_t ref, std::string_view key);

// Network locks (without network: succeed at once; queries false).
void LockFileBlock(FileBlockHandle fb);
void ReadLockFileBlock(FileBlockHandle fb);
void UnlockFileBlock(FileBlockHandle fb);
bool IsFileBlockLocked(FileBlockHandle fb, bool keepStatus);
bool IsFileBlockReadLocked(FileBlockHandle fb, bool keepStatus);
void LockRecord(FileBlockHandle fb, int32_t ref);
void UnlockRecord(FileBlockHandle fb, int32_t ref);
bool IsRecordLocked(FileBlockHandle fb, int32_t ref, bool keepStatus);
bool AnyRecordLocked(FileBlockHandle fb, bool keepStatus);

// Rebuild of a file block from its data file: the records in use are copied
// into a new data file in slot order (the old one lies aside as ".SAV"
// meanwhile), then a new index file is filled with the keys the builder
// gives. A record whose key is already in a unique index is deleted and
// written to the ".MSG" file.
using KeyBuilder = std::function<std::string(std::span<const uint8_t> record, int keyNumber)>;
// Called after each record handled with the slots read so far, the records
// written (or indexed) so far, the record length and the record; leaving
// EngineOK false stops the rebuild (10460).
using RebuildProgress = std::function<void(uint32_t slotsRead, uint32_t recordsDone,
                                           uint32_t recordLength, const void* record)>;
void SetRebuildProgress(RebuildProgress progress);
void RebuildFileBlock(std::string_view name, int32_t recordLength, int32_t indexCount,
                      const KeyBuilder& keyBuilder, std::span<const KeyDescriptor> keys);
void RebuildVariableFileBlock(std::string_view name, int32_t sectionLength, int32_t indexCount,
                              const KeyBuilder& keyBuilder, std::span<const KeyDescriptor> keys);
// What the last rebuild did beyond its status: whether it resumed an
// interrupted run from ".SAV", and how many records it moved to ".MSG"
// because their key was already in a unique index.
struct RebuildOutcome {
  bool resumed = false;
  int32_t dropped = 0;
};
RebuildOutcome LastRebuildOutcome();

// Replacing a block whole (an import): the new block is built, closed,
// under StagingName(name), then ReplaceFileBlock puts it in place, each
// step forced to disk, so that a crash anywhere leaves the old block or the
// new one: the old index and dialog go first (an old data file alone is
// rebuilt from itself), then the new data file takes the name (the point of
// no return), then the new index. 10140 when another program holds either
// block; before the point of no return a failure changes nothing of the
// old block (the staged files stay for the caller to delete). A failure
// after it leaves the new data file alone, rebuilt on the next open.
std::string StagingName(std::string_view name);
void ReplaceFileBlock(std::string_view name);
// Clears what an interrupted replacement left, before the block is opened
// (every read-write unshared open does it): the staged files go; the block
// is then the old one or, after the point of no return, the new data file
// (alone, so it is rebuilt). 10140 while the replacing program lives.
void FinishReplacement(std::string_view name);

}  // namespace qorvex
