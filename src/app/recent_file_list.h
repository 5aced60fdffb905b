#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/status.h"

namespace postrider {

class ProfileFile;

// The projects opened or saved last, newest first, kept in section
// "Recent File List" of the settings file as File1 to File4.
class RecentFileList {
 public:
  static constexpr int kMaxEntries = 4;

  // Entries missing from the file, or empty there, are left out.
  void Load(const std::string& iniPath);
  // Writes all four keys; a key without an entry is written empty.
  Status Save(const std::string& iniPath) const;

  // Puts the path at the top; the same path further down moves up rather than
  // appearing twice, and the oldest entry drops off a full list.
  void Add(const std::string& path);
  void Remove(int index);

  // Add or take out one path against what the settings file holds now, then
  // save: another desktop open at the same time may have changed the list
  // since this one read it, and its entries stay. A file that cannot be read
  // changes the list held here only.
  Status AddAndSave(const std::string& iniPath, const std::string& path);
  Status RemoveAndSave(const std::string& iniPath, const std::string& path);

  int size() const { return static_cast<int>(entries_.size()); }
  bool empty() const { return entries_.empty(); }
  const std::string& at(int index) const { return entries_.at(static_cast<std::size_t>(index)); }
  const std::vector<std::string>& entries() const { return entries_; }

 private:
  // Reads the stored list, changes it, and saves it.
  Status ChangeStored(const std::string& iniPath, const std::function<void()>& change);
  void ReadFrom(const ProfileFile& profile);
  Status WriteTo(ProfileFile& profile) const;

  std::vector<std::string> entries_;
};

}  // namespace postrider
