#include "font_check.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QSet>

#include <algorithm>

namespace tessaro {

QString designed_cjk_characters() {
    // The texts as the windows show them; the characters are what matters.
    const QStringList texts = {
        QStringLiteral("打印选项"), QStringLiteral("打印信息"), QStringLiteral("共有:2000组"),
        QStringLiteral("开始页数:1"), QStringLiteral("结束页数:700页"), QStringLiteral("每页有:156组"),
        QStringLiteral("选项"), QStringLiteral("自定义"), QStringLiteral("从到页"), QStringLiteral("全部"),
        QStringLiteral("打  印"), QStringLiteral("取  消"), QStringLiteral("系统提示"), QStringLiteral("输入错误"),
        QStringLiteral("所输入的数据类型不对"), QStringLiteral("打印开始页数不能为0"), QStringLiteral("打印结束页数不能为0"),
        QStringLiteral("阅读上一页"), QStringLiteral("阅读下一页"), QStringLiteral("选择端口:"), QStringLiteral("选择COM"),
        QStringLiteral("\u25A0"), QStringLiteral("\uFF1F"),
    };
    QString chars;
    QSet<char32_t> seen;
    for (const QString& t : texts)
        for (const auto code : t.toUcs4()) {
            const auto c = static_cast<char32_t>(code);
            if (c > 0x7E && !seen.contains(c)) {
                seen.insert(c);
                chars += QString::fromUcs4(&c, 1);
            }
        }
    return chars;
}

QStringList families_covering(const QString& text) {
    const auto chars = text.toUcs4();
    QStringList found;
    // Fonts with Chinese in their languages first; the others only need looking at without one.
    QStringList candidates = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    if (candidates.isEmpty()) candidates = QFontDatabase::families();
    for (const QString& family : candidates) {
        QFont font(family);
        font.setStyleStrategy(QFont::NoFontMerging); // this family's own glyphs, no fallback
        const QFontMetrics metrics(font);
        if (std::all_of(chars.cbegin(), chars.cend(), [&](auto c) { return metrics.inFontUcs4(c); }))
            found << family;
    }
    return found;
}

QString missing_cjk_font_warning() {
    if (!families_covering(designed_cjk_characters()).isEmpty()) return {};
    return QStringLiteral("tessaro: no installed font shows the program's Chinese texts (the print options "
                          "window, tooltips and the table's marks show empty boxes); install fonts-wqy-microhei "
                          "(or fonts-noto-cjk)");
}

} // namespace tessaro
