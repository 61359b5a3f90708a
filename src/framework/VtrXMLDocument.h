#pragma once

#include "VtrXMLNode.h"

#include <pugixml.hpp>

#include <QString>

// An XML document over pugixml. No DTD expansion, no external entities.
class VtrXMLDocument
{
public:
    VtrXMLDocument();
    ~VtrXMLDocument();
    VtrXMLDocument(const VtrXMLDocument&) = delete;
    VtrXMLDocument& operator=(const VtrXMLDocument&) = delete;

    // Loads a file and returns its root element (released by the caller), or
    // null when the file cannot be read, is not well-formed or has no element.
    VtrXMLNode* LoadFromFile(const QString& path);
    VtrXMLNode* LoadFromFile1(const char* path);
    // Same for text already in memory (used by tools and fuzzing).
    VtrXMLNode* LoadFromBuffer(const char* data, size_t size);
    // A new element, owned by the caller until it is appended somewhere.
    VtrXMLNode* CreateNode(const QString& name);
    VtrXMLNode* CreateNode1(const char* name);
    // Makes a created element the root of the document.
    bool AppendNode(VtrXMLNode* node);
    // Root element, or null.
    VtrXMLNode* GetRootNode();
    // Writes the document with a declaration and tab indentation. The file is
    // replaced atomically: a crash never leaves it half-written.
    bool Save(const QString& path);
    bool Save1(const char* path);
    // Why the last load or save failed.
    QString LastError() const { return m_lastError; }

    pugi::xml_document& Native() { return m_doc; }
    // Parent under which created, not yet appended elements wait.
    pugi::xml_node StagingNode();
    // Whether a node is one of the created, not yet appended elements.
    bool IsStaged(pugi::xml_node node) const;

private:
    pugi::xml_node RootElement() const;
    VtrXMLNode* ParseLoaded(pugi::xml_parse_result result);

    pugi::xml_document m_doc;
    pugi::xml_node m_staging;
    QString m_lastError;
};
