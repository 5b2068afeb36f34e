// The request exchange with the management service: request documents, framing, the reply's
// parsing with the device filter, and the ends of a read that gets no complete reply.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "BridgeFixture.h"
#include "SimpleStringBuffer.h"
#include "UPOSAdapter.h"
#include "UPOSEventConnector.h"
#include "UPOSXMLAdapter.h"
#include "cimbridge.h"

namespace {

// The instance list as "name:type=value;..." per instance.
std::vector<std::string> Describe(const UPOSInstanceList& list) {
    std::vector<std::string> out;
    for (const UPOSInstance& instance : list) {
        std::string text;
        for (const UPOSField& f : instance) text += f[0] + ":" + f[1] + "=" + f[2] + ";";
        out.push_back(text);
    }
    return out;
}

std::string Reply(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><response>" + body + "</response>";
}

std::string Field(const std::string& name, const std::string& value, const std::string& type = "string") {
    return "<field name=\"" + name + "\" type=\"" + type + "\">" + value + "</field>";
}

TEST(RequestDocument, GetInstanceCarriesTypeClassAndIdInUtf8) {
    UPOSXMLAdapter xml;
    std::string doc;
    EXPECT_EQ(xml.toXML("UPOS_MSR", "request", "getInstance", "7", &doc), 0);
    EXPECT_EQ(doc.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"", 0), 0u) << doc;
    EXPECT_NE(doc.find("<request><type>getInstance</type><class>UPOS_MSR</class><id>7</id></request>"),
              std::string::npos)
        << doc;
}

TEST(RequestDocument, EnumerationHasNoIdAndTextIsEscapedAsUtf8) {
    UPOSXMLAdapter xml;
    std::string doc;
    EXPECT_EQ(xml.toXML("A&B\xC3\xA9", "request", "enumerateInstances", "", &doc), 0);
    EXPECT_NE(doc.find("<request><type>enumerateInstances</type><class>A&amp;B\xC3\xA9</class></request>"),
              std::string::npos)
        << doc;
    EXPECT_EQ(doc.find("<id>"), std::string::npos);
}

// A listener that takes one connection and keeps its bytes until the BS, then closes.
class RawListener {
public:
    RawListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 1);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            const int c = ::accept(fd_, nullptr, nullptr);
            char b;
            while (c >= 0 && ::recv(c, &b, 1, 0) == 1) {
                bytes_ += b;
                if (b == 0x08) break;
            }
            if (c >= 0) ::close(c);
        });
    }
    ~RawListener() {
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
    }
    unsigned port() const { return port_; }
    std::string bytes() {
        if (thread_.joinable()) thread_.join();
        return bytes_;
    }

private:
    int fd_ = -1;
    unsigned port_ = 0;
    std::thread thread_;
    std::string bytes_;
};

TEST_F(BridgeTest, GetInstanceSendsOneFramedRequestOnTheConfiguredPort) {
    RawListener listener;
    WritePort(listener.port());
    char cls[] = "UPOS_MSR", id[] = "7";
    int n = -1;
    getInstance(cls, id, &n);
    EXPECT_EQ(n, 0);
    const std::string bytes = listener.bytes();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.front(), '\x1B');
    EXPECT_EQ(bytes.back(), '\x08');
    const std::string doc = bytes.substr(1, bytes.size() - 2);
    EXPECT_NE(doc.find("<type>getInstance</type><class>UPOS_MSR</class><id>7</id>"), std::string::npos) << doc;
    endEnumInstances();
}

TEST_F(BridgeTest, EnumerationsSendNoId) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices));
    char cls[] = "UPOS_MSR";
    int n = -1;
    enumerateInstances(cls, &n);
    endEnumInstances();
    enumerateInstanceNames(cls, &n);
    endEnumInstances();
    const std::vector<std::string> requests = service_->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].find("<type>enumerateInstances</type><class>UPOS_MSR</class></request>"), std::string::npos);
    EXPECT_NE(requests[1].find("<type>enumerateInstanceNames</type><class>UPOS_MSR</class></request>"), std::string::npos);
}

TEST_F(BridgeTest, EnumerationKeepsTheQorvelDeviceAndHandsOutItsFields) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices));
    char cls[] = "UPOS_MSR";
    int n = -1;
    enumerateInstances(cls, &n);
    EXPECT_EQ(rc, 0);
    ASSERT_EQ(n, 1);
    ASSERT_EQ(getInstanceField(0, 0), 0);
    EXPECT_STREQ(ptrName, "DeviceID");
    EXPECT_STREQ(ptrType, "string");
    EXPECT_STREQ(ptrValue, "3");
    ASSERT_EQ(getInstanceField(0, 4), 0);
    EXPECT_STREQ(ptrName, "Total");
    EXPECT_STREQ(ptrValue, "3000000000");
    EXPECT_EQ(getInstanceField(0, 5), -1);
    EXPECT_EQ(getInstanceField(1, 0), -1);
    endEnumInstances();
}

struct ReplyCase {
    const char* name;
    MgmtService::Fault fault;
};

class ReplyFraming : public BridgeTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyFraming, ReplyIsReassembled) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices, {GetParam().fault, 0}));
    UPOSAdapter a;
    int result = -1;
    a.EnumerateInstances("UPOS_MSR", &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Describe(a.getResults()),
              std::vector<std::string>{"DeviceID:string=3;ManufacturerName:string=QORVEL;Enabled:boolean=true;"
                                       "Count:uint32=12;Total:uint64=3000000000;"});
}

INSTANTIATE_TEST_SUITE_P(Service, ReplyFraming,
                         ::testing::Values(ReplyCase{"Whole", MgmtService::Fault::None},
                                           ReplyCase{"InPieces", MgmtService::Fault::Pieces},
                                           ReplyCase{"BytesBeforeEsc", MgmtService::Fault::BytesBeforeStart}),
                         [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

struct FilterCase {
    const char* name;
    std::string body;
    std::vector<std::string> kept;
};

class DeviceFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(DeviceFilter, KeepsQorvelDevicesAndOemScannersAndScales) {
    UPOSXMLAdapter xml;
    EXPECT_EQ(xml.fromXML(Reply(GetParam().body)), 0);
    EXPECT_EQ(Describe(xml.getInstances()), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DeviceFilter,
    ::testing::Values(
        FilterCase{"OemKeyboardDroppedNextHoldsOnlyItsOwnFields",
                   "<instance>" + Field("ManufacturerName", "OEM") + Field("DeviceCategory", "Keyboard") + "</instance>"
                   "<instance>" + Field("ManufacturerName", "QORVEL") + Field("DeviceID", "2") + "</instance>",
                   {"ManufacturerName:string=QORVEL;DeviceID:string=2;"}},
        FilterCase{"OemScaleAfterManufacturerKept",
                   "<instance>" + Field("ManufacturerName", "OEM") + Field("DeviceCategory", "POS Scale") + "</instance>",
                   {"ManufacturerName:string=OEM;DeviceCategory:string=POS Scale;"}},
        FilterCase{"OemScaleBeforeManufacturerDropped",
                   "<instance>" + Field("DeviceCategory", "POS Scale") + Field("ManufacturerName", "OEM") + "</instance>",
                   {}},
        FilterCase{"OemScannerKept",
                   "<instance>" + Field("ManufacturerName", "OEM") + Field("devicecategory", "Hand Scanner") + "</instance>",
                   {"ManufacturerName:string=OEM;devicecategory:string=Hand Scanner;"}},
        FilterCase{"OemLowerCaseScaleDropped",
                   "<instance>" + Field("ManufacturerName", "OEM") + Field("DeviceCategory", "scale") + "</instance>",
                   {}},
        FilterCase{"LowerCaseQorvelDropped", "<instance>" + Field("ManufacturerName", "qorvel") + "</instance>", {}},
        FilterCase{"LowerCaseFieldNameRecognised",
                   "<instance>" + Field("manufacturername", "QORVEL") + "</instance>",
                   {"manufacturername:string=QORVEL;"}},
        FilterCase{"NoManufacturerDropped", "<instance>" + Field("DeviceID", "1") + "</instance>", {}},
        FilterCase{"FieldsAtAnyDepthAndEmptyValue",
                   "<instance><group>" + Field("ManufacturerName", "QORVEL") + Field("Empty", "") + "</group></instance>",
                   {"ManufacturerName:string=QORVEL;Empty:string=;"}},
        FilterCase{"FieldWithoutTypeGivesEmptyType",
                   "<instance><field name=\"ManufacturerName\">QORVEL</field></instance>",
                   {"ManufacturerName:=QORVEL;"}},
        FilterCase{"EscapedValues",
                   "<instance>" + Field("ManufacturerName", "QORVEL") + Field("Name", "a&amp;b&lt;c") + "</instance>",
                   {"ManufacturerName:string=QORVEL;Name:string=a&b<c;"}}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

TEST(ReplyParsing, ErrorWithInstancesGivesOneAndNoInstances) {
    UPOSXMLAdapter xml;
    EXPECT_EQ(xml.fromXML(Reply("<error name=\"no such class\"/><instance>" + Field("ManufacturerName", "QORVEL") +
                                "</instance>")),
              1);
    EXPECT_TRUE(xml.getInstances().empty());
}

TEST(ReplyParsing, UnparsableRepliesGiveMinusOne) {
    for (const char* reply : {"", "<response><instance>", "not xml", "<a></b>",
                              "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                              "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
                              "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">]><r>&e;&e;&e;&e;&e;&e;</r>"}) {
        UPOSXMLAdapter xml;
        EXPECT_EQ(xml.fromXML(reply), -1) << reply;
        EXPECT_TRUE(xml.getInstances().empty());
    }
}

TEST(EventParsing, QorvelEventKeepsItsNamesOthersBecomeNA) {
    UPOSXMLAdapter xml;
    EventStruct e = xml.fromXMLEvent("<event type=\"modify\" classname=\"UPOS_MSR\" modifyInstanceCode=\"3\">" +
                                     Field("deviceid", "5") + Field("ManufacturerName", "QORVEL") + "</event>");
    EXPECT_EQ(e.eventType, "modify");
    EXPECT_EQ(e.className, "UPOS_MSR");
    EXPECT_EQ(e.codename, "3");
    EXPECT_EQ(e.DeviceID, "5");

    e = xml.fromXMLEvent("<event type=\"t\" classname=\"UPOS_Scanner\">" + Field("ManufacturerName", "OEM") + "</event>");
    EXPECT_EQ(e.className, "UPOS_Scanner");
    e = xml.fromXMLEvent("<event type=\"t\" classname=\"UPOS_MSR\">" + Field("ManufacturerName", "OEM") + "</event>");
    EXPECT_EQ(e.className, "NA");
    EXPECT_EQ(e.eventType, "NA");
    e = xml.fromXMLEvent("<event");
    EXPECT_EQ(e.className, "NA");
    e = xml.fromXMLEvent("<other/>");
    EXPECT_EQ(e.eventType, "NA");
}

TEST_F(BridgeTest, ServiceErrorGivesNoInstances) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices));
    char cls[] = "UPOS_Nothing";
    int n = -1;
    enumerateInstances(cls, &n);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(getInstanceField(0, 0), -1);
    endEnumInstances();
}

TEST_F(BridgeTest, NoServiceGivesNoInstances) {
    WritePort(1); // nothing listens on port 1
    char cls[] = "UPOS_MSR";
    int n = -1;
    enumerateInstanceNames(cls, &n);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(n, 0);
    endEnumInstances();
}

TEST_F(BridgeTest, CloseMidDocumentEndsTheReadAtOnce) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices, {MgmtService::Fault::CloseMidDocument, 0}));
    // A read that waited for the time-out would take 60 s here.
    UPOSConnector::SetTimeout(60000);
    const auto start = std::chrono::steady_clock::now();
    char cls[] = "UPOS_MSR";
    int n = -1;
    enumerateInstances(cls, &n);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(n, 0);
    endEnumInstances();
}

TEST_F(BridgeTest, SilentServiceEndsTheReadAfterTheTimeOut) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices, {MgmtService::Fault::Silence, 0}));
    UPOSConnector::SetTimeout(200);
    char cls[] = "UPOS_MSR";
    int n = -1;
    enumerateInstances(cls, &n);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(n, 0);
    endEnumInstances();
    EXPECT_EQ(service_->Requests().size(), 1u);
}

TEST_F(BridgeTest, FieldsByIndexAfterTwoInstances) {
    ASSERT_NO_FATAL_FAILURE(StartServiceAnswering(
        Reply("<instance>" + Field("ManufacturerName", "QORVEL") + Field("Empty", "") + "</instance><instance>" +
              Field("ManufacturerName", "QORVEL") + "</instance>")));
    char cls[] = "UPOS_MSR";
    int n = -1;
    enumerateInstanceNames(cls, &n);
    ASSERT_EQ(n, 2);
    ASSERT_EQ(getInstanceField(0, 0), 0);
    EXPECT_STREQ(ptrName, "ManufacturerName");
    ASSERT_EQ(getInstanceField(0, 1), 0);
    EXPECT_STREQ(ptrValue, "");
    EXPECT_EQ(getInstanceField(2, 0), -1);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(getInstanceField(1, 1), -1);
    EXPECT_STREQ(ptrName, "Empty"); // a failed fetch keeps the texts
    EXPECT_EQ(getInstanceField(0xFFFFFFFFu, 0), -1);
    endEnumInstances();
}

TEST_F(BridgeTest, EndingTwiceAndReadingAfterTheEndAreHarmless) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices));
    char cls[] = "UPOS_MSR", id[] = "3";
    int n = -1;
    getInstance(cls, id, &n);
    EXPECT_EQ(n, 1);
    endEnumInstances();
    EXPECT_EQ(adapter, nullptr);
    endEnumInstances();
    EXPECT_EQ(getInstanceField(0, 0), -1);
    // A new request frees the result it replaces (a leak would show under ASan).
    getInstance(cls, id, &n);
    getInstance(cls, id, &n);
    EXPECT_EQ(n, 1);
    endEnumInstances();
}

TEST_F(BridgeTest, GetInstanceOfAnUnknownDeviceHasNoInstances) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices));
    char cls[] = "UPOS_MSR", id[] = "9";
    int n = -1;
    getInstance(cls, id, &n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(getInstanceField(0, 0), -1);
    endEnumInstances();
}

TEST(Framing, BytesAfterTheEndStayForTheNextRead) {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    const std::string wire = "xx\x1B" "first\x08" "yy\x1B" "second\x08" "\x1B" "part";
    ASSERT_EQ(::write(sv[1], wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
    ::shutdown(sv[1], SHUT_WR);
    UPOSConnector c;
    UPOSConnector::initd = 1;
    c.m_socket = sv[0];
    c.connected = 1;
    SimpleStringBuffer a, b, d;
    EXPECT_EQ(c.Receive(&a), 5);
    EXPECT_STREQ(a.c_str(), "first");
    EXPECT_EQ(c.Receive(&b), 6);
    EXPECT_STREQ(b.c_str(), "second");
    EXPECT_EQ(c.Receive(&d), -1); // the stream ends before the closing BS
    ::close(sv[0]);
    ::close(sv[1]);
}

TEST(Framing, SendFramesTheWholeBuffer) {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    UPOSConnector c;
    UPOSConnector::initd = 1;
    c.m_socket = sv[0];
    c.connected = 1;
    std::string big(200000, 'r');
    std::thread reader([&] {
        std::string got;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(sv[1], buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
        EXPECT_EQ(got, "\x1B" + big + "\x08");
    });
    EXPECT_EQ(c.Send(big.data(), static_cast<int>(big.size()), 0), static_cast<int>(big.size()) + 2);
    ::close(sv[0]);
    reader.join();
    ::close(sv[1]);
}

struct GrowthCase {
    int capacity;
    float factor;
    int first;  // bytes appended first
    int second; // then these
    int expectedCapacity;
};

class Growth : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(Growth, FollowsTheFactorRule) {
    const GrowthCase& c = GetParam();
    SimpleStringBuffer b(c.capacity, c.factor);
    b.append(std::string(static_cast<size_t>(c.first), 'a').c_str());
    b.append(std::string(static_cast<size_t>(c.second), 'b').c_str());
    EXPECT_EQ(b.getCapacity(), c.expectedCapacity);
    EXPECT_EQ(b.length(), c.first + c.second);
    EXPECT_EQ(std::string(b.c_str()), std::string(static_cast<size_t>(c.first), 'a') + std::string(static_cast<size_t>(c.second), 'b'));
}

INSTANTIATE_TEST_SUITE_P(
    Buffer, Growth,
    ::testing::Values(GrowthCase{16, 2.0f, 10, 6, 16},     // fits
                      GrowthCase{16, 2.0f, 10, 10, 32},    // capacity x factor is enough
                      GrowthCase{16, 2.0f, 10, 30, 80},    // factor x needed
                      GrowthCase{10, 1.0f, 0, 11, 15},     // factor clamped to 1.5: 15 >= 11
                      GrowthCase{10, 1.5f, 0, 16, 24},     // 15 < 16: 1.5 x 16
                      GrowthCase{-4, 2.0f, 0, 3, 6}));     // negative capacity clamped to 0

TEST(Buffer, CloneAndNullAppends) {
    SimpleStringBuffer b;
    b.append(static_cast<const char*>(nullptr));
    b.append(nullptr, 3);
    b.append('x');
    b.append("yz", 2);
    SimpleStringBuffer* copy = b.clone();
    EXPECT_STREQ(copy->c_str(), "xyz");
    EXPECT_EQ(copy->getCapacity(), 4); // 3 x 1.5, truncated
    delete copy;
    b.clean();
    EXPECT_EQ(b.length(), 0);
    EXPECT_STREQ(b.c_str(), "");
}

} // namespace

namespace {

TEST(EventSocket, DatagramsInTheSameFraming) {
    UPOSEventConnector events;
    ASSERT_EQ(events.Start(0), 0);
    EXPECT_EQ(events.Start(0), 0); // already started
    sockaddr_in to{};
    socklen_t len = sizeof to;
    ASSERT_EQ(::getsockname(events.m_socket, reinterpret_cast<sockaddr*>(&to), &len), 0);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int tx = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(tx, 0);
    for (const std::string& d : {std::string("xx\x1B<event"), std::string("/>\x08\x1B" "b\x08")})
        ASSERT_EQ(::sendto(tx, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(d.size()));
    SimpleStringBuffer first, second, none;
    EXPECT_EQ(events.Receive(&first), 8);
    EXPECT_STREQ(first.c_str(), "<event/>");
    EXPECT_EQ(events.Receive(&second), 1);
    EXPECT_STREQ(second.c_str(), "b");
    UPOSConnector::SetTimeout(50);
    EXPECT_EQ(events.Receive(&none), -1); // nothing more within the time-out
    UPOSConnector::SetTimeout(30000);
    EXPECT_EQ(events.Stop(), 0);
    EXPECT_EQ(events.Receive(&none), -1);
    ::close(tx);
}

} // namespace
