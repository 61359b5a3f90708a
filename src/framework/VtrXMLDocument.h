#pragma once

#include "VtrXMLNode.h"

#include <pugixml.hpp>

#include <QString>

// An XML document over pugixml. No DTD expansion, no external entities.
class VtrXMLDocument
{
public:
    // Nodes nested deeper than this are refused when loading and saving: the
    // code that walks a rule's items recurses, and no rule needs more than a
    // handful of levels.
    static constexpr int kMaxNestingDepth = 256;

    // How deep nodes nest under top (its children are at 1; 0 without
    // children), counted without recursion.
    static int NestingDepth(pugi::xml_node top);

    VtrXMLDocument();
    ~VtrXMLDocument();
    VtrXMLDocument(const VtrXMLDocument&) = delete;
    VtrXMLDocument& operator=(const VtrXMLDocument&) = delete;

    // Loads a file and returns its root element (released by the caller), or
    // null when the file is not a regular file or cannot be read, is not
    // well-formed, nests deeper than kMaxNestingDepth or has no element.
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
    // Writes the document with a declaration and tab indentation; carriage
    // returns in text are written as references so they read back unchanged.
    // The file is replaced atomically: a crash never leaves it half-written.
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
