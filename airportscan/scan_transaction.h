#pragma once
// The airport scan rewrites airports/my_simaddon and airports/my_thirdparty as one transaction.
// Before the scan both folders move aside to their ".scan_backup" siblings behind the marker
// airports/.airport_scan_in_progress; the scan fills fresh folders; a commit keeps them, a
// roll-back (or the next start, finding the marker) puts the previous ones back. So the previous
// scan's data survives an exception, a stop, a kill or a crash at any point.
//
// The two folders also hold the user's own stand and redirect files. The list
// airports/.airport_scan_files names the files the last committed scan wrote; whatever else the
// backups hold is the user's and is carried into the new folders before the commit.
//
// Runs on the worker thread only, no lock.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <system_error>

// Finishes an interrupted transaction: with the marker present as a roll-back, without it the
// clean-up of a commit. True when nothing was left to do or everything was put back; false when
// the state cannot be established or repaired (the marker then stays for the next start).
// Never throws.
bool lf_recoverInterruptedAirportScan();

// The scan's first step, before the skip switch is read: recovers, and on failure says that the
// scan is skipped (log and status line). False: skip the scan.
bool gf_recoverAirportScanAtStart();

class AirportScanTransaction {
 public:
  // Recovers once more, then begins: the folders are moved aside and created empty. Throws
  // std::runtime_error when either fails, after rolling back what begin had done.
  AirportScanTransaction();
  ~AirportScanTransaction();  // rolls back unless committed
  AirportScanTransaction(const AirportScanTransaction&) = delete;
  AirportScanTransaction& operator=(const AirportScanTransaction&) = delete;

  // Throws on every failure; the caller rolls back.
  void begin();
  // Carries the user's files over (a user's file wins over a generated one of its name, with a
  // scan message), makes the new content permanent and replaces the file list. Every file and
  // folder of the new content is synced to the disk before the commit point, and the backups go
  // only once that point is on the disk. Throws while the previous data can still be restored
  // (the caller rolls back); quiet once committed.
  void commit();
  // Restores the previous content; does nothing unless active; never throws. A step that fails
  // leaves the marker for the next start.
  void rollback() noexcept;
  // The scan's end: a stop requested during the scan may have cut the walks short, so it rolls
  // back; otherwise commits. True when committed.
  bool commitUnlessStopped();

  // For an airport whose read failed (no route wrote its file): scanFile is the path the scan
  // would have written (e.g. airports/my_thirdparty/EGLL.xml). The previous scan's file of that
  // name comes back from the backup and is listed again. True when the file will be in place
  // after the commit (written by the scan, brought back, or the user's own). A failed copy makes
  // the commit refuse, so the previous data is not lost.
  bool restoreFromBackup(const std::filesystem::path& scanFile);

  std::array<bool, 2> existed{};  // my_simaddon, my_thirdparty: present at begin
  bool active = false;            // from the marker's write to the commit or roll-back

 private:
  std::array<std::set<std::string>, 2> previousFiles;  // the last commit's list, per folder
  bool restoreFailed = false;
};

// The file operations that keep the previous data safe through a power cut, in the form of their
// std::filesystem calls; tests record or fail them. An empty member is the real call (sync:
// os::syncToDisk, a file's data or a folder's entries).
struct ScanFileLayer {
  std::function<bool(const std::filesystem::path&, std::error_code&)> sync;
  std::function<void(const std::filesystem::path&, const std::filesystem::path&, std::error_code&)> rename;
  std::function<bool(const std::filesystem::path&, std::error_code&)> remove;
  std::function<std::uintmax_t(const std::filesystem::path&, std::error_code&)> removeAll;
};
void gf_setScanFileLayerForTest(ScanFileLayer layer);

// Tests: called before every file-system step of the recovery and the transaction; it may throw
// or end the process there. An empty function removes it.
void gf_setAirportScanStepHookForTest(std::function<void()> hook);
