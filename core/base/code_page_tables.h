#ifndef VELMAR_CORE_BASE_CODE_PAGE_TABLES_H_
#define VELMAR_CORE_BASE_CODE_PAGE_TABLES_H_

namespace velmar::internal {

struct CodePageTable {
  int code_page;
  const char16_t* upper;  // 128 entries for bytes 0x80..0xFF
};

extern const CodePageTable kCodePageTables[];
extern const int kCodePageTableCount;

}  // namespace velmar::internal

#endif  // VELMAR_CORE_BASE_CODE_PAGE_TABLES_H_
