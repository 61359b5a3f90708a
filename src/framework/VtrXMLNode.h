#pragma once

#include <string>

#include <pugixml.hpp>

#include <QString>

class VtrXMLDocument;
class VtrXMLNodeList;

// One node of a VtrXMLDocument. Wide calls take QString; the "1" variants take
// narrow (UTF-8) text. Nodes and lists returned here are released by the caller.
class VtrXMLNode
{
public:
    VtrXMLNode() = default;
    VtrXMLNode(pugi::xml_node node, VtrXMLDocument* owner);
    // Created elements that are never appended stay parked in their document
    // until it is released; releasing the node object does not touch the tree.
    ~VtrXMLNode() = default;
    VtrXMLNode(const VtrXMLNode&) = default;
    VtrXMLNode& operator=(const VtrXMLNode&) = default;

    // Appends an attribute after the existing ones.
    bool AddAttribute(const QString& name, const QString& value);
    bool AddAttribute1(const char* name, const char* value);
    // Whether the attribute exists; its value goes to value.
    bool GetAttributeValue(const QString& name, QString& value) const;
    // Narrow variant: value is allocated with new[] and released by the caller with delete[].
    bool GetAttributeValue1(const char* name, char*& value) const;
    // The UTF-8 value of the first attribute of that name, or null when
    // there is none. The attribute found for the name asked last is
    // remembered by this object: every rule module is offered each element
    // and asks the same. Removing attributes through Native() or another
    // node object in between is not noticed; nor is the object safe to use
    // from two threads at once.
    const char* AttributeText(const char* name) const;
    // Child elements of that name, or null when there are none.
    VtrXMLNodeList* GetNodeList(const QString& name) const;
    VtrXMLNodeList* GetNodeList1(const char* name) const;
    // Every child node (elements and text), or null when there are none.
    VtrXMLNodeList* GetChildNodes() const;
    // Element name; empty for text nodes.
    QString GetNodeName() const;
    // Text of an element (its first text child) or the value of a text node.
    QString GetNodeValue() const;
    QString GetNodeValueInCString() const { return GetNodeValue(); }
    // Replaces an element's text.
    bool SetNodeValue(const QString& value);
    // First node matching an XPath expression, or null (also for a bad expression).
    VtrXMLNode* SelectSingleNode(const QString& path) const;
    // Removes a child element of this node.
    bool RemoveChild(VtrXMLNode* child);
    // Moves a node created by the same document (or one of its nodes) under this one.
    bool AppendNode(VtrXMLNode* child);
    // Creates a new child element and returns it.
    VtrXMLNode* AppendNode(const QString& name, VtrXMLDocument* document);
    // The element's markup, without indentation, written as Save writes it.
    QString GetXML() const;
    // The same markup in UTF-8, appended to out; a buffer used again for
    // every element spares the allocations of GetXML.
    void AppendXMLUtf8(std::string& out) const;
    // The markup as Save writes it: indented with tabs from depth on, each
    // element on its own line, ending with a line break.
    void AppendIndentedXMLUtf8(std::string& out, int depth) const;
    // Releases a list returned by GetNodeList and nulls the pointer.
    static void DeleteNodeList(VtrXMLNodeList*& list);

    // Whether this wraps a node at all.
    bool IsNull() const { return !m_node; }
    pugi::xml_node Native() const { return m_node; }
    VtrXMLDocument* Owner() const { return m_owner; }

private:
    pugi::xml_node m_node;
    VtrXMLDocument* m_owner = nullptr;
    // The name AttributeText was asked last (empty: none) and its answer.
    mutable char m_askedName[24] = {};
    mutable pugi::xml_attribute m_asked;
};
