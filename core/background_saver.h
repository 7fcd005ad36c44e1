#pragma once
// Files written off the caller's thread: the caller hands over the path and the finished text,
// one saver thread writes it under a temporary name, syncs it and renames it over the file.
// Waiting for the disk (a sync can take hundreds of milliseconds) is the saver's, never the
// 10-ms loop's. Saves of one path land in the order they were queued; a newer save of a path
// replaces its queued older one, so the file never goes back to older contents.
#include <filesystem>
#include <functional>
#include <string>

struct BackgroundSave {
  std::filesystem::path path;
  std::string contents;
  // Synced to the disk before and after the rename; false for a file only shown to the user
  // and rewritten soon.
  bool durable = true;
  // The file's folder is made when it is missing.
  bool makeFolder = false;
  // Called on the saver's thread once the file is written (ok) or left as it was (error says
  // why); not called for a save that a newer one replaced. Without it a failure is logged.
  std::function<void(bool ok, const std::string& error)> done;
};

// Any thread. The saver's thread starts with the first save.
void gf_queueSave(BackgroundSave save);
// A write that is not a whole file's text (one setting in a shared settings file), run on the
// saver's thread in turn with the saves. A newer task of the same key replaces a queued older
// one, so a task must write the newest state when it runs, not a copy taken when queued.
void gf_queueTask(std::string key, std::function<void()> task);
// Returns once no save of path is queued or being written: a read of the file then sees the
// newest contents. Immediate when none is.
void gf_awaitSave(const std::filesystem::path& path);
// Returns once every save queued before the call is written: the program's end, and tests.
void gf_drainSaves();
// The number of saves queued or being written.
std::size_t gf_pendingSaves();
