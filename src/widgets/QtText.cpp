#include "widgets/QtText.h"

#include "platform/Encoding.h"

namespace zelmo::widgets {

QString ToQString(std::string_view gbk) {
    const std::string utf8 = platform::GbkToUtf8(gbk);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToGbk(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return platform::Utf8ToGbk(std::string_view(utf8.constData(), utf8.size()));
}

}  // namespace zelmo::widgets
