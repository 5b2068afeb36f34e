#include "UPOSXMLAdapter.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLString.hpp>

#include "BridgePath.h"
#include "SimpleStringBuffer.h"
#include "UPOSConnector.h"
#include "UPOSIni.h"
#include "UPOSLog.h"

using namespace xercesc;

int errorCode = 0;
bool doNamespaces = false;

namespace {

constexpr const char* kPropertiesFile = "/opt/qorvel/javapos/etc/sysmgmt.properties";

// UTF-16 of a UTF-8 text, owned.
class XStr {
public:
    explicit XStr(const std::string& text)
        : text_(TranscodeFromStr(reinterpret_cast<const XMLByte*>(text.data()), text.size(), "UTF-8")
                    .adopt()) {}
    ~XStr() { XMLString::release(&text_); }
    XStr(const XStr&) = delete;
    XStr& operator=(const XStr&) = delete;
    const XMLCh* x() const { return text_; }

private:
    XMLCh* text_;
};

// UTF-8 of a UTF-16 text ("" for none).
std::string utf8(const XMLCh* text) {
    if (!text) return "";
    TranscodeToStr out(text, "UTF-8");
    return std::string(reinterpret_cast<const char*>(out.str()), out.length());
}

std::string attribute(DOMElement* element, const char* name) {
    XStr n(name);
    return utf8(element->getAttribute(n.x()));
}

DOMElement* elementAt(DOMNodeList* list, XMLSize_t i) {
    DOMNode* node = list->item(i);
    return node && node->getNodeType() == DOMNode::ELEMENT_NODE ? static_cast<DOMElement*>(node) : nullptr;
}

bool equalsNoCase(const std::string& a, const char* b) { return ::strcasecmp(a.c_str(), b) == 0; }

// The parser of one reply: initialises the XML library for its life and throws on the first
// fatal error.
class ReplyParser {
public:
    ReplyParser() {
        XMLPlatformUtils::Initialize();
        parser_ = std::make_unique<XercesDOMParser>();
        parser_->setValidationScheme(XercesDOMParser::Val_Never);
        parser_->setDoNamespaces(false);
        parser_->setLoadExternalDTD(false);
        parser_->setCreateEntityReferenceNodes(false);
        parser_->setErrorHandler(&errors_);
        // Replies come from outside: entity expansion stays bounded.
        security_.setEntityExpansionLimit(1000);
        parser_->setSecurityManager(&security_);
    }
    ~ReplyParser() {
        parser_.reset();
        XMLPlatformUtils::Terminate();
    }
    ReplyParser(const ReplyParser&) = delete;
    ReplyParser& operator=(const ReplyParser&) = delete;

    DOMDocument* parse(const std::string& text) {
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(),
                                 "simple buffer", false);
        parser_->parse(source);
        return parser_->getDocument();
    }

private:
    HandlerBase errors_;
    SecurityManager security_;
    std::unique_ptr<XercesDOMParser> parser_;
};

} // namespace

bool UPOSXMLAdapter::isManufacturerProperty(const std::string& name) { return equalsNoCase(name, "ManufacturerName"); }
bool UPOSXMLAdapter::isDevCatProperty(const std::string& name) { return equalsNoCase(name, "DeviceCategory"); }
bool UPOSXMLAdapter::isDeviceIDProperty(const std::string& name) { return equalsNoCase(name, "DeviceID"); }
bool UPOSXMLAdapter::isQORVELDevice(const std::string& value) { return value == "QORVEL"; }
bool UPOSXMLAdapter::isOEMDevice(const std::string& value) { return value == "OEM"; }
bool UPOSXMLAdapter::isSclOrScnDevice(const std::string& value) {
    return value.find("Scanner") != std::string::npos || value.find("Scale") != std::string::npos;
}

char* UPOSXMLAdapter::getAttributeValue(const char* name, DOMElement* element) {
    const std::string value = element && name ? attribute(element, name) : std::string();
    char* copy = new char[value.size() + 1];
    std::memcpy(copy, value.c_str(), value.size() + 1);
    return copy;
}

unsigned short UPOSXMLAdapter::servicePort() {
    INIFile ini = LoadIni(bridgePath(kPropertiesFile).c_str());
    const std::string text = GetIniSetting(ini, "default", "upos.requestSocket.Port", "42115");
    return static_cast<unsigned short>(std::atoi(text.c_str()));
}

int UPOSXMLAdapter::toXML(std::string className, std::string rootName, std::string requestType,
                          std::string id, std::string* out) {
    errorCode = 0;
    try {
        XMLPlatformUtils::Initialize();
    } catch (const XMLException& e) {
        std::cerr << "Error during initialization of the XML library\n  Exception message:"
                  << utf8(e.getMessage()) << std::endl;
    }
    buildRequest(className, rootName, requestType, id, out);
    XMLPlatformUtils::Terminate();
    return errorCode;
}

// The document's building between the XML library's initialisation and termination (every
// text of the library is released before it terminates).
void UPOSXMLAdapter::buildRequest(const std::string& className, const std::string& rootName,
                                  const std::string& requestType, const std::string& id, std::string* out) {
    XStr core("Core");
    DOMImplementation* impl = DOMImplementationRegistry::getDOMImplementation(core.x());
    if (!impl) {
        std::cerr << "Requested implementation is not supported" << std::endl;
        errorCode = 4;
    } else {
        DOMDocument* doc = nullptr;
        DOMLSSerializer* writer = nullptr;
        DOMLSOutput* output = nullptr;
        try {
            XStr root(rootName);
            doc = impl->createDocument(nullptr, root.x(), nullptr);
            DOMElement* top = doc->getDocumentElement();
            auto addText = [&](const char* name, const std::string& text) {
                XStr n(name), t(text);
                DOMElement* e = doc->createElement(n.x());
                e->appendChild(doc->createTextNode(t.x()));
                top->appendChild(e);
            };
            addText("type", requestType);
            addText("class", className);
            if (!id.empty()) addText("id", id);
            // Serialised into UTF-8 bytes, so the declaration and the bytes agree.
            writer = static_cast<DOMImplementationLS*>(impl)->createLSSerializer();
            output = static_cast<DOMImplementationLS*>(impl)->createLSOutput();
            XStr encoding("UTF-8");
            output->setEncoding(encoding.x());
            MemBufFormatTarget target;
            output->setByteStream(&target);
            writer->write(doc, output);
            if (out) out->assign(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
        } catch (const OutOfMemoryException&) {
            std::cerr << "OutOfMemoryException" << std::endl;
            errorCode = 5;
        } catch (const DOMException& e) {
            std::cerr << "DOMException code is:  " << e.code << std::endl;
            errorCode = 2;
        } catch (...) {
            std::cerr << "An error occurred creating the document" << std::endl;
            errorCode = 3;
        }
        if (output) output->release();
        if (writer) writer->release();
        if (doc) doc->release();
    }
}

std::string UPOSXMLAdapter::sendRequest(std::string request) {
    const unsigned short port = servicePort();
    UPOSLog::Line("<<XMLAdapter>>: Creating socket");
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        UPOSLog::Line("<<XMLAdapter>>: Unable to create socket! aborting...");
        return "";
    }
    std::string answer;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bridgeConnect(fd, addr, UPOSConnector::Timeout()) != 0) {
        UPOSLog::Line("<<XMLAdapter>>: Unable to connect to socket! aborting...");
    } else {
        UPOSConnector connector;
        UPOSConnector::initd = 1;
        connector.m_socket = connector.m_client = fd;
        connector.connected = 1;
        // The whole request goes out (framed by Send), or nothing is read.
        if (connector.Send(request.data(), static_cast<int>(request.size()), 0) >= 0) {
            SimpleStringBuffer buffer(1024, 1.5f);
            if (connector.Receive(&buffer) >= 0) answer.assign(buffer.c_str(), buffer.length());
            UPOSLog::Line("<<XMLAdapter>>: Receiving data");
            UPOSLog::Line(answer);
        }
        connector.connected = 0;
    }
    ::close(fd);
    return answer;
}

int UPOSXMLAdapter::fromXML(std::string reply) {
    UPOSLog::Line("<<XMLAdapter fromXML>> Call entered : ");
    int result = 0;
    try {
        ReplyParser parser;
        try {
            DOMDocument* doc = parser.parse(reply);
            XStr errorTag("error"), instanceTag("instance"), fieldTag("field");
            DOMNodeList* errors = doc ? doc->getElementsByTagName(errorTag.x()) : nullptr;
            if (!doc) {
                result = -1;
            } else if (errors->getLength() > 0) {
                DOMElement* e = elementAt(errors, 0);
                UPOSLog::Line("<<XMLAdapter Error>> Server returned: " + (e ? attribute(e, "name") : std::string()));
                result = 1;
            } else {
                DOMNodeList* list = doc->getElementsByTagName(instanceTag.x());
                for (XMLSize_t i = 0; i < list->getLength(); ++i) {
                    DOMElement* instance = elementAt(list, i);
                    if (!instance) continue;
                    instances.clear();
                    bool qorvel = false, oem = false, oemKept = false;
                    DOMNodeList* fields = instance->getElementsByTagName(fieldTag.x());
                    for (XMLSize_t f = 0; f < fields->getLength(); ++f) {
                        DOMElement* field = elementAt(fields, f);
                        if (!field) continue;
                        UPOSField triple{attribute(field, "name"), attribute(field, "type"),
                                         utf8(field->getTextContent())};
                        if (isManufacturerProperty(triple[0])) {
                            if (isQORVELDevice(triple[2])) qorvel = true;
                            else if (isOEMDevice(triple[2])) oem = true;
                        } else if (oem && isDevCatProperty(triple[0]) && isSclOrScnDevice(triple[2])) {
                            oemKept = true;
                        }
                        instances.push_back(std::move(triple));
                    }
                    if (qorvel || oemKept)
                        vinstance.push_back(instances);
                    else
                        UPOSLog::Line("<<fromXML>> Discarding NON-QORVEL device");
                    instances.clear();
                }
            }
        } catch (const XMLException& e) {
            UPOSLog::Line("<<XMLAdapter XML Exception >> : " + utf8(e.getMessage()));
            result = -1;
        } catch (const SAXException& e) {
            UPOSLog::Line("<<XMLAdapter XML Exception >> : " + utf8(e.getMessage()));
            result = -1;
        } catch (const DOMException& e) {
            UPOSLog::Line("<<XMLAdapter DOM Exception >> : " + utf8(e.getMessage()));
            result = -1;
        }
    } catch (...) {
        std::cout << "Unexpected Exception \n";
        UPOSLog::Line("<< Unknown Exception in XMLAdapter >> : ");
        result = -1;
    }
    return result;
}

EventStruct UPOSXMLAdapter::fromXMLEvent(std::string text) {
    EventStruct event;
    bool invalid = true;
    try {
        ReplyParser parser;
        try {
            DOMDocument* doc = parser.parse(text);
            XStr eventTag("event"), fieldTag("field");
            DOMNodeList* events = doc ? doc->getElementsByTagName(eventTag.x()) : nullptr;
            DOMElement* e = events && events->getLength() > 0 ? elementAt(events, 0) : nullptr;
            if (e) {
                event.eventType = attribute(e, "type");
                event.className = attribute(e, "classname");
                event.codename = attribute(e, "modifyInstanceCode");
                const bool sclOrScn = isSclOrScnDevice(event.className);
                DOMNodeList* fields = e->getElementsByTagName(fieldTag.x());
                for (XMLSize_t f = 0; f < fields->getLength(); ++f) {
                    DOMElement* field = elementAt(fields, f);
                    if (!field) continue;
                    const std::string name = attribute(field, "name");
                    const std::string value = utf8(field->getTextContent());
                    if (isDeviceIDProperty(name))
                        event.DeviceID = value;
                    else if (isManufacturerProperty(name) &&
                             (isQORVELDevice(value) || (isOEMDevice(value) && sclOrScn)))
                        invalid = false;
                }
            }
        } catch (const XMLException& e) {
            UPOSLog::Line("<<XMLAdapter XML Exception >> : " + utf8(e.getMessage()));
        } catch (const SAXException& e) {
            UPOSLog::Line("<<XMLAdapter XML Exception >> : " + utf8(e.getMessage()));
        } catch (const DOMException& e) {
            UPOSLog::Line("<<XMLAdapter DOM Exception >> : " + utf8(e.getMessage()));
        }
    } catch (...) {
        std::cout << "Unexpected Exception \n";
        UPOSLog::Line("<< Unknown Exception in XMLAdapter::fromXMLEvent() >> : ");
    }
    if (invalid) {
        event.className = "NA";
        event.eventType = "NA";
    }
    return event;
}
