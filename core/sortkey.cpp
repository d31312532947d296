#include "core/sortkey.h"

#include <memory>
#include <unicode/ucol.h>

namespace {
struct CollatorClose {
    void operator()(UCollator *c) const { ucol_close(c); }
};

UCollator *collator()
{
    // One per thread: an ICU collator may not be used by two threads at once.
    thread_local std::unique_ptr<UCollator, CollatorClose> c = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<UCollator, CollatorClose> made(ucol_open("zh", &status));
        if (made) {
            ucol_setAttribute(made.get(), UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
        }
        return made;
    }();
    return c.get();
}
} // namespace

QByteArray chineseSortKey(QStringView text)
{
    UCollator *c = collator();
    if (!c) // no collator data: code-point order, which still sorts
        return text.toUtf8();
    const auto *chars = reinterpret_cast<const UChar *>(text.utf16());
    const int32_t length = int32_t(text.size());
    QByteArray key(64, Qt::Uninitialized);
    int32_t needed = ucol_getSortKey(c, chars, length, reinterpret_cast<uint8_t *>(key.data()), int32_t(key.size()));
    if (needed > key.size()) {
        key.resize(needed);
        needed = ucol_getSortKey(c, chars, length, reinterpret_cast<uint8_t *>(key.data()), int32_t(key.size()));
    }
    key.resize(needed > 0 ? needed - 1 : 0); // without the closing zero
    return key;
}
