#include "gpslog/xmlsafety.h"

#include <QXmlStreamReader>

bool readRootElement(QXmlStreamReader& xml) {
    xml.setEntityExpansionLimit(0);
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            if (!xml.entityDeclarations().isEmpty()) {
                xml.raiseError(QStringLiteral("entity declarations are not read"));
                return false;
            }
            break;
        case QXmlStreamReader::StartElement:
            return true;
        default:
            break;
        }
    }
    return false;
}

void readToEnd(QXmlStreamReader& xml) {
    while (!xml.atEnd())
        xml.readNext();
}
