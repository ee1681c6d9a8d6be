#include "collation.h"

#include <sqlite3.h>
#include <unicode/ucol.h>
#include <unicode/uscript.h>
#include <unicode/ustring.h>

#include <cstring>
#include <iterator>
#include <vector>

namespace shop::collation {

namespace {

// SQLite hands over the stored UTF-8 bytes; ICU compares them as they are,
// without a conversion per comparison.
int comparePinyin(void* collator, int aLen, const void* a, int bLen, const void* b)
{
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r =
        ucol_strcollUTF8(static_cast<const UCollator*>(collator), static_cast<const char*>(a), aLen,
                         static_cast<const char*>(b), bLen, &status);
    if (U_SUCCESS(status))
        return r;
    // Not expected (ICU reads broken UTF-8 as U+FFFD); the bytes still give a
    // consistent order.
    const int n = std::memcmp(a, b, static_cast<size_t>(aLen < bLen ? aLen : bLen));
    return n != 0 ? n : aLen - bLen;
}

// pinyin_key(text): the collator's sort key, a blob whose bytes compare as
// the texts do under the collation (ICU guarantees it). Ill-formed UTF-8
// becomes U+FFFD, as the comparison above reads it.
void pinyinKey(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int bytes = sqlite3_value_bytes(argv[0]);
    // UTF-16 needs at most one unit per UTF-8 byte.
    UChar small[128];
    std::vector<UChar> large;
    UChar* utf16 = small;
    if (bytes > static_cast<int>(std::size(small))) {
        large.resize(static_cast<size_t>(bytes));
        utf16 = large.data();
    }
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(utf16, bytes < 1 ? 1 : bytes, &length, text, bytes, 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) {
        sqlite3_result_error(ctx, u_errorName(status), -1);
        return;
    }
    const auto* collator = static_cast<const UCollator*>(sqlite3_user_data(ctx));
    uint8_t key[256];
    const int32_t size = ucol_getSortKey(collator, utf16, length, key, static_cast<int32_t>(sizeof key));
    if (size <= static_cast<int32_t>(sizeof key)) {
        sqlite3_result_blob(ctx, key, size, SQLITE_TRANSIENT);
        return;
    }
    std::vector<uint8_t> longKey(static_cast<size_t>(size));
    ucol_getSortKey(collator, utf16, length, longKey.data(), size);
    sqlite3_result_blob(ctx, longKey.data(), size, SQLITE_TRANSIENT);
}

void closeCollator(void* collator)
{
    ucol_close(static_cast<UCollator*>(collator));
}

} // namespace

quint32 pinyinVersion()
{
    static const quint32 version = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCollator* collator = ucol_open("zh", &status);
        if (U_FAILURE(status))
            return quint32{0};
        UVersionInfo v{};
        ucol_getVersion(collator, v);
        ucol_close(collator);
        return (quint32{v[0]} << 24) | (quint32{v[1]} << 16) | (quint32{v[2]} << 8) | quint32{v[3]};
    }();
    return version;
}

bool registerPinyin(sqlite3* db, QString* error)
{
    auto fail = [error](const QString& e) {
        if (error)
            *error = e;
        return false;
    };
    if (!db)
        return fail(QStringLiteral("database not open"));
    UErrorCode status = U_ZERO_ERROR;
    // "zh" orders Han characters by pinyin by default.
    UCollator* collator = ucol_open("zh", &status);
    if (U_FAILURE(status))
        return fail(QStringLiteral("ICU collator zh: %1").arg(QString::fromLatin1(u_errorName(status))));
    // Secondary strength: letter case (a tertiary difference) does not count.
    ucol_setStrength(collator, UCOL_SECONDARY);
    // Latin letters before Chinese, as they always sorted here (the "zh"
    // default lists Chinese first); spaces, signs and digits come before both.
    const int32_t scripts[] = {USCRIPT_LATIN, USCRIPT_HAN};
    ucol_setReorderCodes(collator, scripts, static_cast<int32_t>(std::size(scripts)), &status);
    if (U_FAILURE(status)) {
        ucol_close(collator);
        return fail(QStringLiteral("ICU collator zh: %1").arg(QString::fromLatin1(u_errorName(status))));
    }
    // Once registered, the connection owns the collator; when registering
    // fails, SQLite leaves it to us.
    int rc = sqlite3_create_collation_v2(db, kPinyin, SQLITE_UTF8, collator, &comparePinyin, &closeCollator);
    if (rc != SQLITE_OK) {
        ucol_close(collator);
        return fail(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    // The function shares the collator, which lives as long as the connection.
    rc = sqlite3_create_function_v2(db, kPinyinKey, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                    collator, &pinyinKey, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(db)));
    return true;
}

} // namespace shop::collation
