#pragma once
// COptFile: copies one folder tree (or one file) into a target folder, file
// by file through the system's copy with a progress routine, so the caller
// can show byte-accurate progress and cancel in the middle of a large file.
//
// One engine per process, made by the first Instance() call and kept until
// the process ends; it serves one copy at a time. The copy runs on the
// caller's thread (the pipeline's worker); Stop may be called from any
// thread. The counters are written by the copying thread and meant to be
// read by the progress routine on that same thread.
//
// After a failed copy, or one stopped between two files, the target folder
// is emptied again: the job never leaves a half-filled target behind.
//
// Links in the source are copied as links when they lead to something inside
// the source tree; a link that leads outside it (or dangles) is skipped with
// a trace line, so no file of the host reaches the product through it.

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/fs/copyfile.h"

class COptFile {
 public:
  // The single engine.
  static COptFile& Instance();

  virtual ~COptFile();
  COptFile(const COptFile&) = delete;
  COptFile& operator=(const COptFile&) = delete;

  // The source (folder or file) and target folder of the next Start.
  void SetPath(const std::wstring& src, const std::wstring& dst);
  // The progress weight of the current copy step, for the progress routine.
  void SetWeight(double weight);
  // Whether a tree copy that succeeds ends with the target's volume written
  // out (one flush for the whole tree, for copies onto a removable medium):
  // when the medium reports lost data the copy fails and the target is
  // emptied, as for a file that could not be copied. Off at construction;
  // kept until set again.
  void SetFlushTarget(bool flush);

  // Clears the stop request and both counters, then copies the paths given
  // to SetPath (Copy below).
  bool Start(platform::LPPROGRESS_ROUTINE progress, void* data);

  // Measures src, then copies it into the folder dst. progress and data go
  // to the system copy unchanged; the engine never calls the routine itself.
  // A folder: true when every file was copied, also when a stop arrived
  // between two files (the target is then emptied); false when a file could
  // not be copied, the routine cancelled one, or the source shrank meanwhile
  // (the target is emptied). A missing or unreadable source folder counts as
  // empty. A file: copied into dst (created when missing) under its own
  // name; the result says whether that worked.
  virtual bool Copy(platform::LPPROGRESS_ROUTINE progress, void* data, const std::wstring& src,
                    const std::wstring& dst);

  // Asks the running copy to end: between two files at once, in the middle
  // of a file when the progress routine reads IsStop and cancels.
  void Stop();
  bool IsStop() const;

  // Measures the copy's source again: false when it is now smaller than at
  // the start (files went missing or shrank while they were copied).
  bool IsFinished();

  // Bytes measured in the source at the start of the copy.
  std::int64_t GetTotalFileSize() const { return m_TotalFileSize; }
  // Bytes of the files completely copied so far.
  std::int64_t GetCopiedSize() const { return m_CopiedSize; }
  double GetWeight() const { return m_Weight; }

 protected:
  COptFile();

 private:
  bool CopyTree(platform::LPPROGRESS_ROUTINE progress, void* data, const std::wstring& src,
                const std::wstring& dst);
  bool CopyEntryFile(platform::LPPROGRESS_ROUTINE progress, void* data, const std::wstring& from,
                     const std::wstring& folder, const std::wstring& name);
  bool CopySingleFile(platform::LPPROGRESS_ROUTINE progress, void* data, const std::wstring& src,
                      const std::wstring& dst);
  // Writes the target's volume out when asked to (SetFlushTarget), through
  // the watch opened before the copy's first write; false with a trace line
  // when the medium reports lost data.
  bool FlushTarget(platform::VolumeWriteWatch* watch);

  std::int64_t m_TotalFileSize = 0;
  std::int64_t m_CopiedSize = 0;
  std::atomic<bool> m_bStop{false};
  // Copies of the caller's paths, so the engine never outlives what it reads.
  std::wstring m_SrcPath;
  std::wstring m_DstPath;
  // The source of the copy that runs, which IsFinished measures again.
  std::wstring m_CopySource;
  double m_Weight = 1.0;
  bool m_FlushTarget = false;
};
