// The customer search by plate and by phone number, over a copy of the customer set's cursor.
#include "data/CustomerSearch.h"

#include "data/DataSet.h"
#include "engine/CursorCollation.h"

#include <algorithm>

namespace data {

namespace {

const QString* textOf(const cursor::Value& value) {
    return std::get_if<QString>(&value);
}

bool startsWith(std::u16string_view key, std::u16string_view prefix) {
    return key.size() >= prefix.size() && key.substr(0, prefix.size()) == prefix;
}

// The best match so far: the smallest key, the first one seen among equals.
template <typename Key> struct Best {
    std::optional<qint64> id;
    Key key;
    void offer(qint64 candidate, const Key& candidateKey) {
        if (!id || candidateKey < key) {
            id = candidate;
            key = candidateKey;
        }
    }
};

} // namespace

std::u16string plateKey(const QString& plate) {
    QString compact;
    compact.reserve(plate.size());
    for (QChar c : plate)
        if (!c.isSpace())
            compact += c;
    return cursor::collationKey(compact);
}

std::string phoneKey(const QString& number) {
    std::string digits;
    digits.reserve(std::size_t(number.size()));
    for (QChar c : number) {
        if (c.isLetter())
            return {};
        if (c >= '0' && c <= '9')
            digits += char(c.unicode());
    }
    const std::size_t zeros = digits.find_first_not_of('0');
    if (zeros == std::string::npos)
        return {};
    digits.erase(0, zeros);
    if (digits.size() == 12 && digits.starts_with("90"))
        digits.erase(0, 2);
    return digits;
}

std::optional<qint64> findCustomerByPlateOrPhone(const TDataSet& customers, const QString& text) {
    if (!customers.active())
        return std::nullopt;
    const std::u16string plate = plateKey(text);
    const std::string phone = phoneKey(text);
    if (plate.empty() && phone.empty())
        return std::nullopt;
    const std::vector<const TField*> fields = {
        &customers.fieldByName(QStringLiteral("id")),
        &customers.fieldByName(QStringLiteral("f_arac_plaka")),
        &customers.fieldByName(QStringLiteral("f_tel")),
        &customers.fieldByName(QStringLiteral("f_gsm"))};
    Best<std::u16string> byPlate;
    Best<std::string> byPhone;
    customers.readRecords(fields, [&](const TRecordValues& v) {
        // The key is read only for a match; the numbers only while no plate has matched.
        const auto id = [&v]() -> std::optional<qint64> {
            const cursor::Value key = v[0];
            if (const qint64* i = std::get_if<qint64>(&key))
                return *i;
            return std::nullopt;
        };
        if (!plate.empty()) {
            const cursor::Value value = v[1];
            if (const QString* p = textOf(value)) {
                const std::u16string key = plateKey(*p);
                if (startsWith(key, plate) && (!byPlate.id || key < byPlate.key))
                    if (const std::optional<qint64> match = id())
                        byPlate.offer(*match, key);
            }
        }
        if (phone.empty() || byPlate.id)
            return;
        for (std::size_t field : {std::size_t(2), std::size_t(3)}) {
            const cursor::Value value = v[field];
            if (const QString* n = textOf(value)) {
                const std::string key = phoneKey(*n);
                if (key.starts_with(phone) && (!byPhone.id || key < byPhone.key))
                    if (const std::optional<qint64> match = id())
                        byPhone.offer(*match, key);
            }
        }
    });
    return byPlate.id ? byPlate.id : byPhone.id;
}

} // namespace data
