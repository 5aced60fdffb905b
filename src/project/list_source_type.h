#pragma once

namespace postrider {

// Kind of mailing list a project names (project key DBFileType).
enum ListSourceType : int {
  DBTypeNone = -1,
  DBTypeTab = 0,
  DBTypeComma = 1,
  DBTypeODBC = 2,  // offered by older projects; nothing reads it
};

constexpr int kMaxListFields = 25;

inline bool IsTextListType(int type) { return type == DBTypeTab || type == DBTypeComma; }

}  // namespace postrider
