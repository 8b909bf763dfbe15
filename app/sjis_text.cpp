#include "sjis_text.h"

#include <QStringDecoder>

QString decodeShiftJis(std::string_view bytes) {
    QStringDecoder decoder("Shift_JIS");
    if (!decoder.isValid())  // Qt built without ICU: show the bytes as Latin-1
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}
