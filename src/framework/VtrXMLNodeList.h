#pragma once

#include "VtrXMLNode.h"

#include <vector>

// A list of nodes returned by the framework; the list owns its node objects.
class VtrXMLNodeList
{
public:
    VtrXMLNodeList() = default;
    explicit VtrXMLNodeList(std::vector<VtrXMLNode> nodes)
        : m_nodes(std::move(nodes))
    {
    }
    ~VtrXMLNodeList();

    // Number of nodes.
    int GetSize() const { return static_cast<int>(m_nodes.size()); }
    // Node at a 0-based position (owned by the list), or null when out of range.
    VtrXMLNode* GetItem(int index);
    VtrXMLNode* operator[](int index) { return GetItem(index); }

private:
    std::vector<VtrXMLNode> m_nodes;
};
