#pragma once

#include <QString>
#include <QtGlobal>

struct sqlite3;

namespace shop::collation {

// The collation text columns sort by: Chinese in pinyin order, as a Chinese
// dictionary or spreadsheet lists it; digits and Latin letters before it and
// without regard to case, as they always sorted. ICU's collator for "zh";
// every connection registers its own (a collator is not shared between
// threads).
inline constexpr char kPinyin[] = "PINYIN";

// The SQL function pinyin_key(text): the collation's sort key of a text, a
// blob whose bytes compare as the texts do under kPinyin. Sorting a whole
// result by it computes one key per row instead of comparing through the
// collator at every step of the sort; an index in kPinyin cannot serve it.
inline constexpr char kPinyinKey[] = "pinyin_key";

// The version of the collator's order (ICU's rules and data): an index in
// kPinyin made under another version may be out of order and is rebuilt.
quint32 pinyinVersion();

// Registers kPinyin and kPinyinKey on a connection. False (reason in
// `error`) when the collator cannot be made.
bool registerPinyin(sqlite3* db, QString* error);

} // namespace shop::collation
