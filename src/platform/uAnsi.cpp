#include "platform/uAnsi.h"

#include <QHash>

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace {

struct TLocaleName {
    QString Language;  // lower case, e.g. "zh"
    QString Territory; // upper case, e.g. "CN"; empty when the locale names none
};

// "zh_CN.UTF-8@pinyin" -> zh / CN. "C" and "POSIX" name no language.
TLocaleName CurrentLocale() {
    QByteArray name;
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        name = qgetenv(var);
        if (!name.isEmpty())
            break;
    }
    QString s = QString::fromLatin1(name);
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('.') || s[i] == QLatin1Char('@')) {
            s.truncate(i);
            break;
        }
    }
    if (s == QLatin1String("C") || s == QLatin1String("POSIX"))
        return {};
    qsizetype sep = s.indexOf(QLatin1Char('_'));
    if (sep < 0)
        sep = s.indexOf(QLatin1Char('-'));
    if (sep < 0)
        return {s.toLower(), {}};
    return {s.left(sep).toLower(), s.mid(sep + 1).toUpper()};
}

struct IconvClose {
    void operator()(iconv_t cd) const { iconv_close(cd); }
};
using IconvPtr = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvClose>;

// Length of the UTF-8 sequence that starts with this byte (1 for a stray
// continuation byte, so a skip always moves forward).
int Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

} // namespace

QString AnsiCodePageName() {
    const TLocaleName loc = CurrentLocale();
    if (loc.Language == QLatin1String("zh")) {
        if (loc.Territory == QLatin1String("TW") || loc.Territory == QLatin1String("HK") ||
            loc.Territory == QLatin1String("MO"))
            return QStringLiteral("BIG5");
        return QStringLiteral("GBK");
    }
    if (loc.Language == QLatin1String("ja"))
        return QStringLiteral("SHIFT_JIS");
    if (loc.Language == QLatin1String("ko"))
        return QStringLiteral("CP949");
    if (loc.Language == QLatin1String("ru"))
        return QStringLiteral("CP1251");
    return QStringLiteral("WINDOWS-1252");
}

QByteArray ToAnsiBytes(const QString& text, const QString& codePage) {
    IconvPtr cd(iconv_open(codePage.toLatin1().constData(), "UTF-8"));
    if (cd.get() == reinterpret_cast<iconv_t>(-1)) {
        (void)cd.release();
        throw std::invalid_argument("unknown code page: " + codePage.toStdString());
    }
    const QByteArray in = text.toUtf8();
    // Two bytes per character cover every double-byte code page; the flush of
    // a stateful one needs a little more.
    QByteArray out(in.size() * 2 + 16, Qt::Uninitialized);
    char* dst = out.data();
    size_t dstLeft = static_cast<size_t>(out.size());
    auto grow = [&] {
        const qsizetype used = dst - out.data();
        out.resize(out.size() * 2);
        dst = out.data() + used;
        dstLeft = static_cast<size_t>(out.size() - used);
    };

    // glibc converts through an intermediate buffer and, after a character the
    // code page lacks, converts that buffer again: short slices, cut between
    // characters, keep a text full of such characters linear.
    constexpr qsizetype kSlice = 256;
    const char* p = in.constData();
    const char* const inEnd = p + in.size();
    while (p < inEnd) {
        const char* sliceEnd = inEnd - p > kSlice ? p + kSlice : inEnd;
        while (sliceEnd < inEnd && sliceEnd > p && (static_cast<unsigned char>(*sliceEnd) & 0xC0) == 0x80)
            --sliceEnd;
        if (sliceEnd == p)
            sliceEnd = inEnd;
        char* src = const_cast<char*>(p);
        size_t srcLeft = static_cast<size_t>(sliceEnd - p);
        while (srcLeft > 0) {
            if (iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
                break;
            if (errno == E2BIG) {
                grow();
            } else if (errno == EILSEQ || errno == EINVAL) {
                // Not in the code page (or not valid UTF-8): the desktop's
                // substitute character stands in for it.
                if (dstLeft == 0)
                    grow();
                *dst++ = '?';
                --dstLeft;
                const size_t skip = std::min<size_t>(
                    static_cast<size_t>(Utf8SequenceLength(static_cast<unsigned char>(*src))), srcLeft);
                src += skip;
                srcLeft -= skip;
            } else {
                throw std::runtime_error("code page conversion failed");
            }
        }
        p = sliceEnd;
    }
    while (iconv(cd.get(), nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1) && errno == E2BIG)
        grow();
    out.truncate(dst - out.data());
    return out;
}

QString FromAnsiBytes(const QByteArray& bytes, const QString& codePage) {
    IconvPtr cd(iconv_open("UTF-8", codePage.toLatin1().constData()));
    if (cd.get() == reinterpret_cast<iconv_t>(-1)) {
        (void)cd.release();
        throw std::invalid_argument("unknown code page: " + codePage.toStdString());
    }
    // A code-page character is at most two bytes, and at most four in UTF-8.
    QByteArray out(bytes.size() * 4 + 16, Qt::Uninitialized);
    char* dst = out.data();
    size_t dstLeft = static_cast<size_t>(out.size());
    char* src = const_cast<char*>(bytes.constData());
    size_t srcLeft = static_cast<size_t>(bytes.size());
    while (srcLeft > 0) {
        if (iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            throw std::runtime_error("code page conversion failed");
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
    }
    out.truncate(dst - out.data());
    return QString::fromUtf8(out);
}

quint16 GetSystemDefaultLangID() {
    // Locales whose identifier differs from their language's main one, and the
    // main ones themselves.
    static const QHash<QString, quint16> kByLocale = {
        {QStringLiteral("zh_CN"), 2052},  {QStringLiteral("zh_TW"), 1028}, {QStringLiteral("zh_HK"), 3076},
        {QStringLiteral("zh_SG"), 4100},  {QStringLiteral("zh_MO"), 5124}, {QStringLiteral("en_US"), 1033},
        {QStringLiteral("en_GB"), 2057},  {QStringLiteral("en_AU"), 3081}, {QStringLiteral("en_CA"), 4105},
        {QStringLiteral("en_NZ"), 5129},  {QStringLiteral("en_IE"), 6153}, {QStringLiteral("en_ZA"), 7177},
        {QStringLiteral("en_IN"), 16393}, {QStringLiteral("de_DE"), 1031}, {QStringLiteral("de_CH"), 2055},
        {QStringLiteral("de_AT"), 3079},  {QStringLiteral("de_LU"), 4103}, {QStringLiteral("fr_FR"), 1036},
        {QStringLiteral("fr_BE"), 2060},  {QStringLiteral("fr_CA"), 3084}, {QStringLiteral("fr_CH"), 4108},
        {QStringLiteral("fr_LU"), 5132},  {QStringLiteral("es_ES"), 3082}, {QStringLiteral("es_MX"), 2058},
        {QStringLiteral("es_AR"), 11274}, {QStringLiteral("it_IT"), 1040}, {QStringLiteral("it_CH"), 2064},
        {QStringLiteral("pt_BR"), 1046},  {QStringLiteral("pt_PT"), 2070}, {QStringLiteral("nl_NL"), 1043},
        {QStringLiteral("nl_BE"), 2067},  {QStringLiteral("sv_SE"), 1053}, {QStringLiteral("sv_FI"), 2077},
        {QStringLiteral("ja_JP"), 1041},  {QStringLiteral("ko_KR"), 1042}, {QStringLiteral("ru_RU"), 1049},
    };
    static const QHash<QString, quint16> kByLanguage = {
        {QStringLiteral("zh"), 2052}, {QStringLiteral("en"), 1033}, {QStringLiteral("de"), 1031},
        {QStringLiteral("fr"), 1036}, {QStringLiteral("es"), 3082}, {QStringLiteral("it"), 1040},
        {QStringLiteral("pt"), 1046}, {QStringLiteral("nl"), 1043}, {QStringLiteral("sv"), 1053},
        {QStringLiteral("ja"), 1041}, {QStringLiteral("ko"), 1042}, {QStringLiteral("ru"), 1049},
        {QStringLiteral("pl"), 1045}, {QStringLiteral("cs"), 1029}, {QStringLiteral("da"), 1030},
        {QStringLiteral("fi"), 1035}, {QStringLiteral("nb"), 1044}, {QStringLiteral("nn"), 2068},
        {QStringLiteral("el"), 1032}, {QStringLiteral("tr"), 1055}, {QStringLiteral("hu"), 1038},
        {QStringLiteral("he"), 1037}, {QStringLiteral("ar"), 1025}, {QStringLiteral("th"), 1054},
        {QStringLiteral("vi"), 1066}, {QStringLiteral("uk"), 1058}, {QStringLiteral("id"), 1057},
        {QStringLiteral("ro"), 1048}, {QStringLiteral("sk"), 1051}, {QStringLiteral("bg"), 1026},
        {QStringLiteral("hr"), 1050}, {QStringLiteral("sl"), 1060}, {QStringLiteral("et"), 1061},
        {QStringLiteral("lv"), 1062}, {QStringLiteral("lt"), 1063}, {QStringLiteral("fa"), 1065},
        {QStringLiteral("hi"), 1081}, {QStringLiteral("ms"), 1086},
    };
    const TLocaleName loc = CurrentLocale();
    if (loc.Language.isEmpty())
        return 1033;
    const auto exact = kByLocale.constFind(loc.Language + QLatin1Char('_') + loc.Territory);
    if (exact != kByLocale.constEnd())
        return *exact;
    return kByLanguage.value(loc.Language, 1033);
}
