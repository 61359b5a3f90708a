#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "VtrXMLNodeList.h"

#include "VtrRegularFile.h"
#include "VtrUtf8.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QSaveFile>

namespace {
const char kStagingName[] = "vtr-staging";

// pugixml writes a carriage return in text as it is, and every XML reader
// turns it into a line feed; written as a character reference it is read
// back as it was. Every raw carriage return in pugixml's output is text:
// attribute values get references for all control characters already,
// indentation uses line feeds only, and parsed CDATA holds none.
class CarriageReturnWriter : public pugi::xml_writer
{
public:
    void write(const void* data, size_t size) override
    {
        const char* p = static_cast<const char*>(data);
        const char* end = p + size;
        while (p < end) {
            const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
            if (!cr) {
                Emit(p, static_cast<size_t>(end - p));
                return;
            }
            if (cr > p)
                Emit(p, static_cast<size_t>(cr - p));
            static const char kReference[] = "&#13;";
            Emit(kReference, sizeof(kReference) - 1);
            p = cr + 1;
        }
    }

protected:
    virtual void Emit(const char* data, size_t size) = 0;
};

struct StringWriter : CarriageReturnWriter
{
    explicit StringWriter(std::string& target)
        : out(target)
    { }
    std::string& out;

protected:
    void Emit(const char* data, size_t size) override { out.append(data, size); }
};

struct FileWriter : CarriageReturnWriter
{
    QSaveFile* file = nullptr;
    bool ok = true;

protected:
    void Emit(const char* data, size_t size) override
    {
        if (ok && file->write(data, static_cast<qint64>(size)) != static_cast<qint64>(size))
            ok = false;
    }
};

QByteArray Utf8(const QString& s)
{
    return s.toUtf8();
}
} // namespace

// ---------------------------------------------------------------- document

int VtrXMLDocument::NestingDepth(pugi::xml_node top)
{
    int deepest = 0;
    int depth = 1;
    pugi::xml_node n = top.first_child();
    while (n) {
        deepest = std::max(deepest, depth);
        if (pugi::xml_node child = n.first_child()) {
            n = child;
            ++depth;
            continue;
        }
        while (n && !n.next_sibling()) {
            n = n.parent();
            --depth;
            if (n == top)
                n = pugi::xml_node();
        }
        if (n)
            n = n.next_sibling();
    }
    return deepest;
}

VtrXMLDocument::VtrXMLDocument() = default;
VtrXMLDocument::~VtrXMLDocument() = default;

pugi::xml_node VtrXMLDocument::StagingNode()
{
    if (!m_staging)
        m_staging = m_doc.append_child(kStagingName);
    return m_staging;
}

bool VtrXMLDocument::IsStaged(pugi::xml_node node) const
{
    return m_staging && node.parent() == m_staging;
}

pugi::xml_node VtrXMLDocument::RootElement() const
{
    for (pugi::xml_node child = m_doc.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element && child != m_staging)
            return child;
    return {};
}

VtrXMLNode* VtrXMLDocument::ParseLoaded(pugi::xml_parse_result result)
{
    m_staging = pugi::xml_node();
    if (!result) {
        m_lastError = QString::fromUtf8(result.description()) + QStringLiteral(" at offset %1").arg(result.offset);
        m_doc.reset();
        return nullptr;
    }
    if (NestingDepth(m_doc) > kMaxNestingDepth) {
        m_lastError = QStringLiteral("elements nested deeper than %1 levels").arg(kMaxNestingDepth);
        m_doc.reset();
        return nullptr;
    }
    pugi::xml_node root = RootElement();
    if (!root) {
        m_lastError = QStringLiteral("no root element");
        return nullptr;
    }
    m_lastError.clear();
    return new VtrXMLNode(root, this);
}

VtrXMLNode* VtrXMLDocument::LoadFromFile1(const char* path)
{
    m_doc.reset();
    m_staging = pugi::xml_node();
    if (!path || !*path) {
        m_lastError = QStringLiteral("empty path");
        return nullptr;
    }
    // Read the file ourselves: only regular files, and the buffer is handed to
    // the parser without a second copy.
    const int fd = VtrOpenRegularFileForReading(path, &m_lastError);
    if (fd < 0)
        return nullptr;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        m_lastError = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    size_t size = static_cast<size_t>(st.st_size);
    void* buffer = pugi::get_memory_allocation_function()(size > 0 ? size : 1);
    if (!buffer) {
        ::close(fd);
        m_lastError = QStringLiteral("out of memory");
        return nullptr;
    }
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (done != size) {
        pugi::get_memory_deallocation_function()(buffer);
        m_lastError = QStringLiteral("read error");
        return nullptr;
    }
    return ParseLoaded(m_doc.load_buffer_inplace_own(buffer, size));
}

VtrXMLNode* VtrXMLDocument::LoadFromFile(const QString& path)
{
    return LoadFromFile1(path.toLocal8Bit().constData());
}

VtrXMLNode* VtrXMLDocument::LoadFromBuffer(const char* data, size_t size)
{
    m_doc.reset();
    m_staging = pugi::xml_node();
    return ParseLoaded(m_doc.load_buffer(data, size));
}

VtrXMLNode* VtrXMLDocument::CreateNode1(const char* name)
{
    if (!name || !*name)
        return nullptr;
    pugi::xml_node node = StagingNode().append_child(name);
    if (!node)
        return nullptr;
    return new VtrXMLNode(node, this);
}

VtrXMLNode* VtrXMLDocument::CreateNode(const QString& name)
{
    return CreateNode1(VtrUtf8(name));
}

bool VtrXMLDocument::AppendNode(VtrXMLNode* node)
{
    if (!node || node->IsNull() || node->Owner() != this)
        return false;
    pugi::xml_node n = node->Native();
    if (RootElement())
        return false; // a document has one root
    // Move the parked element in front of the staging parent.
    pugi::xml_node moved = m_staging ? m_doc.insert_move_before(n, m_staging) : m_doc.append_move(n);
    return static_cast<bool>(moved);
}

VtrXMLNode* VtrXMLDocument::GetRootNode()
{
    pugi::xml_node root = RootElement();
    return root ? new VtrXMLNode(root, this) : nullptr;
}

bool VtrXMLDocument::Save1(const char* path)
{
    if (!path || !*path) {
        m_lastError = QStringLiteral("empty path");
        return false;
    }
    // Deeper trees are refused when read; writing one would give a file that
    // cannot be opened again (and indentation grows with the square of the depth).
    for (pugi::xml_node child = m_doc.first_child(); child; child = child.next_sibling())
        if (child != m_staging && 1 + NestingDepth(child) > kMaxNestingDepth) {
            m_lastError = QStringLiteral("elements nested deeper than %1 levels").arg(kMaxNestingDepth);
            return false;
        }
    QSaveFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly)) {
        m_lastError = file.errorString();
        return false;
    }
    FileWriter writer;
    writer.file = &file;
    static const char decl[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    writer.write(decl, sizeof(decl) - 1);
    for (pugi::xml_node child = m_doc.first_child(); child; child = child.next_sibling())
        if (child != m_staging)
            child.print(writer, "\t", pugi::format_indent, pugi::encoding_utf8);
    if (!writer.ok) {
        m_lastError = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        m_lastError = file.errorString();
        return false;
    }
    m_lastError.clear();
    return true;
}

bool VtrXMLDocument::Save(const QString& path)
{
    return Save1(path.toLocal8Bit().constData());
}

// ---------------------------------------------------------------- node

VtrXMLNode::VtrXMLNode(pugi::xml_node node, VtrXMLDocument* owner)
    : m_node(node)
    , m_owner(owner)
{ }

bool VtrXMLNode::AddAttribute1(const char* name, const char* value)
{
    if (!m_node || !name || !*name)
        return false;
    pugi::xml_attribute a = m_node.append_attribute(name);
    return a && a.set_value(value ? value : "");
}

bool VtrXMLNode::AddAttribute(const QString& name, const QString& value)
{
    return AddAttribute1(VtrUtf8(name, 0), VtrUtf8(value, 1));
}

const char* VtrXMLNode::AttributeText(const char* name) const
{
    if (!m_node || !name)
        return nullptr;
    // The attribute is remembered, not its text, so a value set since is
    // read as it is now; a missing one is looked for again.
    if (m_askedName[0] != '\0' && std::strcmp(m_askedName, name) == 0)
        return m_asked.value();
    const pugi::xml_attribute a = m_node.attribute(name);
    if (!a)
        return nullptr;
    const size_t size = std::strlen(name);
    if (size > 0 && size < sizeof m_askedName) {
        std::memcpy(m_askedName, name, size + 1);
        m_asked = a;
    }
    return a.value();
}

bool VtrXMLNode::GetAttributeValue1(const char* name, char*& value) const
{
    value = nullptr;
    if (!m_node || !name)
        return false;
    pugi::xml_attribute a = m_node.attribute(name);
    if (!a)
        return false;
    const char* v = a.value();
    size_t n = std::strlen(v);
    value = new char[n + 1];
    std::memcpy(value, v, n + 1);
    return true;
}

bool VtrXMLNode::GetAttributeValue(const QString& name, QString& value) const
{
    if (!m_node)
        return false;
    pugi::xml_attribute a = m_node.attribute(VtrUtf8(name));
    if (!a)
        return false;
    value = QString::fromUtf8(a.value());
    return true;
}

VtrXMLNodeList* VtrXMLNode::GetNodeList1(const char* name) const
{
    if (!m_node || !name)
        return nullptr;
    std::vector<VtrXMLNode> nodes;
    for (pugi::xml_node c = m_node.child(name); c; c = c.next_sibling(name))
        nodes.emplace_back(c, m_owner);
    if (nodes.empty())
        return nullptr;
    return new VtrXMLNodeList(std::move(nodes));
}

VtrXMLNodeList* VtrXMLNode::GetNodeList(const QString& name) const
{
    return GetNodeList1(Utf8(name).constData());
}

VtrXMLNodeList* VtrXMLNode::GetChildNodes() const
{
    if (!m_node)
        return nullptr;
    std::vector<VtrXMLNode> nodes;
    for (pugi::xml_node c = m_node.first_child(); c; c = c.next_sibling())
        nodes.emplace_back(c, m_owner);
    if (nodes.empty())
        return nullptr;
    return new VtrXMLNodeList(std::move(nodes));
}

QString VtrXMLNode::GetNodeName() const
{
    return m_node ? QString::fromUtf8(m_node.name()) : QString();
}

QString VtrXMLNode::GetNodeValue() const
{
    if (!m_node)
        return {};
    if (m_node.type() == pugi::node_element)
        return QString::fromUtf8(m_node.child_value());
    return QString::fromUtf8(m_node.value());
}

bool VtrXMLNode::SetNodeValue(const QString& value)
{
    if (!m_node)
        return false;
    if (m_node.type() != pugi::node_element)
        return m_node.set_value(Utf8(value).constData());
    return m_node.text().set(Utf8(value).constData());
}

VtrXMLNode* VtrXMLNode::SelectSingleNode(const QString& path) const
{
    if (!m_node)
        return nullptr;
    try {
        pugi::xpath_node found = m_node.select_node(Utf8(path).constData());
        if (found.node())
            return new VtrXMLNode(found.node(), m_owner);
    } catch (const pugi::xpath_exception&) {
        // A malformed expression finds nothing, like an expression that matches nothing.
    }
    return nullptr;
}

bool VtrXMLNode::RemoveChild(VtrXMLNode* child)
{
    if (!m_node || !child || child->Native().parent() != m_node)
        return false;
    bool ok = m_node.remove_child(child->Native());
    if (ok)
        child->m_node = pugi::xml_node();
    return ok;
}

bool VtrXMLNode::AppendNode(VtrXMLNode* child)
{
    if (!m_node || !child || child->IsNull())
        return false;
    if (child->Native().root() != m_node.root())
        return false; // nodes move only within their own document
    pugi::xml_node moved = m_node.append_move(child->Native());
    if (!moved)
        return false;
    child->m_node = moved;
    return true;
}

VtrXMLNode* VtrXMLNode::AppendNode(const QString& name, VtrXMLDocument* document)
{
    if (!m_node)
        return nullptr;
    pugi::xml_node c = m_node.append_child(Utf8(name).constData());
    return c ? new VtrXMLNode(c, document ? document : m_owner) : nullptr;
}

QString VtrXMLNode::GetXML() const
{
    if (!m_node)
        return {};
    std::string markup;
    AppendXMLUtf8(markup);
    return QString::fromUtf8(markup.data(), static_cast<qsizetype>(markup.size()));
}

void VtrXMLNode::AppendXMLUtf8(std::string& out) const
{
    if (!m_node)
        return;
    StringWriter w(out);
    m_node.print(w, "", pugi::format_raw, pugi::encoding_utf8);
}

void VtrXMLNode::AppendIndentedXMLUtf8(std::string& out, int depth) const
{
    if (!m_node)
        return;
    StringWriter w(out);
    m_node.print(w, "\t", pugi::format_indent, pugi::encoding_utf8, static_cast<unsigned int>(depth));
}

void VtrXMLNode::DeleteNodeList(VtrXMLNodeList*& list)
{
    delete list;
    list = nullptr;
}

// ---------------------------------------------------------------- list

VtrXMLNodeList::~VtrXMLNodeList() = default;

VtrXMLNode* VtrXMLNodeList::GetItem(int index)
{
    if (index < 0 || index >= GetSize())
        return nullptr;
    return &m_nodes[static_cast<size_t>(index)];
}
