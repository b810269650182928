#pragma once
// Reading outside XML safely: no entity of a document type is ever expanded, so a small file
// cannot grow into gigabytes ("billion laughs") or pull in other files.

class QXmlStreamReader;

// Reads up to the root element's start tag. False (the reader holds an error) when the document
// declares entities, is not well-formed before its root, or has no root.
bool readRootElement(QXmlStreamReader& xml);

// Reads what follows the root element, so that junk after it counts as a broken document.
void readToEnd(QXmlStreamReader& xml);
