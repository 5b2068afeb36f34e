// The system object: configuration, slots, processes, system values and event routes.
#include "COMD.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include "ConfTable.h"
#include "EventQueue.h"
#include "ObjectSupport.h"
#include "PosException.h"
#include "Process.h"
#include "Slot.h"
#include "sydevnode.h"
#include "syresource.h"

COMD* pcomd = nullptr;

namespace {

const char kTag[] = "@(#)sycomd.cpp";
const char kDriverNode[] = "/dev/ovkdcs";

int g_failNextStartup = 0;

SlotBuilder& slotBuilder() {
    static SlotBuilder builder = nullptr;
    return builder;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint32_t recordWord(const uint8_t* record, int index) {
    const uint8_t* p = record + 4 * index;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool nameIs(const PosArg& arg, const char* name) {
    return arg.name && std::strcmp(arg.name, name) == 0;
}

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

int hexValue(char c) {
    return std::isdigit(static_cast<unsigned char>(c))
               ? c - '0'
               : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

} // namespace

CoreSystemValues& coreSystemValues() {
    static CoreSystemValues values;
    return values;
}

SlotBuilder SetSlotBuilder(SlotBuilder builder) {
    SlotBuilder previous = slotBuilder();
    slotBuilder() = builder;
    return previous;
}

Slot* BuildSlot(unsigned short slotType, unsigned short adapterType, int slotNumber) {
    SlotBuilder builder = slotBuilder();
    return builder ? builder(slotType, adapterType, slotNumber) : nullptr;
}

void COMD::FailNextStartupForTest(int rc) { g_failNextStartup = rc; }

// ---------------------------------------------------------------------------------------
// Construction and start-up

COMD::COMD() : STG("COMD"), processes_(0) {
    CommonPreinit();

    try {
        confTable_ = new ConfTable(ovkPath("/etc/ovksys.conf"));
    } catch (const std::bad_alloc&) {
        confTable_ = nullptr;
    }
    if (!confTable_) throw PosException(305, "COMD::COMD(): can't allocate options table");

    std::string* value = nullptr;
    std::string dataPath;
    if (confTable_->find("data-path", value, "") == 0 && value)
        dataPath = *value;
    else if (isDirectory(ovkPath("/usr/share/pos/fonts")))
        dataPath = "/usr/share/pos";
    else
        dataPath = "/usr/local/share/pos";
    std::strncpy(dataPath_, dataPath.c_str(), sizeof dataPath_ - 1);
    dataPath_[sizeof dataPath_ - 1] = '\0';

    std::string debugFile = confTable_->getValue("debug file", std::string("/var/log/ovkdebug.log"), "");
    DebugFile(ovkPath(debugFile).c_str());
    if (confTable_->getValue("debug", false, "")) {
        traceOptions_ |= 1;
        ToggleDebug();
    }
    if (confTable_->getValue("trace", false, "")) traceOptions_ |= 2;

    pcomd = this;
    int rc = CommonPostinit();
    if (rc != 0) {
        pcomd = nullptr;
        for (Slot*& s : slots_) {
            delete s;
            s = nullptr;
        }
        delete confTable_;
        confTable_ = nullptr;
        throw PosException(rc, "COMD::CommonPostinit() failed");
    }
}

COMD::~COMD() {
    // The raw-access servers stop before anything they reach goes away.
    StopRawAccess();
    // The slots go first: terminating their devices may still post through the system
    // object.
    for (Slot*& s : slots_) {
        if (!s) continue;
        s->Term();
        delete s;
        s = nullptr;
    }
    DeleteRawAccess();
    if (pcomd == this) pcomd = nullptr;
    if (resources_) DestroyResources(resources_);
    resources_ = nullptr;
    delete confTable_;
}

int COMD::CommonPreinit() {
    probeOptions_ = 1;
    traceOptions_ = 0;
    alertGeneration_ = 0;
    pollList_ = nullptr;
    platform_ = chQueryPlatform();
    for (int i = 0; i < kSlots; ++i) {
        slots_[i] = nullptr;
        slotTypes_[i] = 0;
        adapterTypes_[i] = 0;
    }
    dbcs_.Clear();
    return 0;
}

int COMD::CommonPostinit() {
    if (g_failNextStartup) {
        int rc = g_failNextStartup;
        g_failNextStartup = 0;
        return rc;
    }
    if (lock_.Open() != 0) return 301;
    GetAdapterAndSlotInfo();
    for (int i = 0; i < kSlots; ++i) StartSlot(i);
    return 0;
}

void COMD::StartSlot(int i) {
    if (slotTypes_[i] != SLOT_TYPE_RS485 && slotTypes_[i] != SLOT_TYPE_PLANAR) return;
    Slot* slot = BuildSlot(slotTypes_[i], adapterTypes_[i], i);
    if (!slot) return;
    // The slot is in the table before it starts: its adapter finds it there.
    slots_[i] = slot;
    if (slot->Init() != 0) {
        delete slot;
        slots_[i] = nullptr;
    }
}

void COMD::EndSlotForTest(int slot) {
    if (slot < 0 || slot >= kSlots || !slots_[slot]) return;
    slots_[slot]->Term();
    delete slots_[slot];
    slots_[slot] = nullptr;
}

Slot* COMD::StartSlotForTest(int slot) {
    if (slot < 0 || slot >= kSlots || slots_[slot]) return nullptr;
    StartSlot(slot);
    return slots_[slot];
}

int COMD::Init() { return CommonPostinit(); }

int COMD::GetAdapterAndSlotInfo() {
    uint8_t record[220] = {};
    int fd = -1;
    if (chDevOpen(kDriverNode, fd) == 0) {
        chDevIoctl(fd, DCS_GET_SLOT_INFO, record, sizeof record, 0);
        chDevClose(fd);
    }
    for (int i = 0; i < kSlots; ++i) {
        adapterTypes_[i] = static_cast<uint16_t>(recordWord(record, 1 + i));
        slotTypes_[i] = static_cast<uint16_t>(recordWord(record, 10 + i));
    }
    // Slot 0 is the system board, whatever the node said.
    adapterTypes_[0] = 0xF803;
    slotTypes_[0] = SLOT_TYPE_PLANAR;
    uint16_t usbAdapter = 0, usbSlot = 0;
    if (GetUsbHostControllerInfo(usbAdapter, usbSlot)) {
        adapterTypes_[8] = usbAdapter;
        slotTypes_[8] = usbSlot;
    }
    return 0;
}

int COMD::GetUsbHostControllerInfo(uint16_t& /*adapterType*/, uint16_t& /*slotType*/) {
    return 0; // no USB host controller is reported
}

int COMD::GetVitalProductData() {
    uint8_t record[28] = {};
    int fd = -1;
    if (chDevOpen(kDriverNode, fd) != 0) return 0;
    int rc = chDevIoctl(fd, DCS_GET_VPD, record, sizeof record, 0);
    chDevClose(fd);
    if (rc == 0) std::memcpy(coreSystemValues().vitalProductData, record + 4, 24);
    return 0;
}

int COMD::InitializeEnvironment(unsigned char* ranges) { return dbcs_.Build(ranges); }

int COMD::Term() {
    int rc = lock_.Close();
    if (rc != 0) {
        clErrorLog(205, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(COMD));
        return 301;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Resources and system values

std::string COMD::GetResourceFileName(const unsigned char* resourceFile) {
    if (!resourceFile) return std::string();
    const char* name = reinterpret_cast<const char*>(resourceFile);
    while (*name == ' ') ++name;
    if (!*name) return std::string();
    std::string path = name[0] == '/' ? ovkPath(name) : std::string(name);
    // Only a regular file that opens for reading counts. It is opened without blocking, so
    // that a FIFO or a device named here cannot hold the caller; anything else reads as
    // unreadable (an empty database).
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::string();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::string();
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular ? path : std::string();
}

void COMD::envVarsSet() {
    CoreSystemValues& sv = coreSystemValues();
    if (const char* s = std::getenv("OVK_TRACE_OPTIONS"))
        sv.envTraceOptions = static_cast<uint16_t>(std::strtoul(s, nullptr, 16));
    if (const char* s = std::getenv("OVK_PROBE_OPTIONS"))
        sv.envProbeOptions = static_cast<uint16_t>(std::strtoul(s, nullptr, 16));
    if (const char* s = std::getenv("OVK_ALERT_GENERATION")) {
        char lower[10] = {};
        for (int i = 0; i < 9 && s[i]; ++i)
            lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
        sv.envAlertGeneration = std::strcmp(lower, "on") == 0 ? 1 : 0;
    }
}

int COMD::BuildResourceDatabase(const unsigned char* applicationName,
                                const unsigned char* resourceFile, PosArg* args, int count) {
    QuerySubsystemInfo(subsystemInfo_);
    std::string file = GetResourceFileName(resourceFile);
    XrmDatabase database = resources_;
    InitResources(database, file.c_str());
    resources_ = database;
    envVarsSet();

    CoreSystemValues& sv = coreSystemValues();
    int32_t trace = sv.envTraceOptions;
    int32_t probe = sv.envProbeOptions;
    int32_t alert = sv.envAlertGeneration;
    int32_t slotMask = static_cast<int32_t>(sv.slotMask);
    int32_t priority = sv.serviceThreadPriority;
    char* pollList = nullptr;
    char* vitalProductData = nullptr;
    static const char kAll[] = "=*";
    const posResources table[] = {
        {"traceOptions", "TraceOptions", POSRES_INTEGER, &trace, trace, nullptr, 0},
        {"probeOptions", "ProbeOptions", POSRES_INTEGER, &probe, probe, nullptr, 0},
        {"alertGeneration", "AlertGeneration", POSRES_BOOLEAN, &alert, alert, nullptr, 0},
        {"slotMask", "SlotMask", POSRES_INTEGER, &slotMask, slotMask, nullptr, 0},
        {"pollList", "PollList", POSRES_STRING, &pollList, reinterpret_cast<intptr_t>(kAll),
         nullptr, 0},
        {"serviceThreadPrty", "ServiceThreadPrty", POSRES_INTEGER, &priority, priority, nullptr, 0},
        {"vitalProductData", "VitalProductData", POSRES_STRING, &vitalProductData,
         reinterpret_cast<intptr_t>(kAll), nullptr, 0},
    };
    const int rows = static_cast<int>(sizeof table / sizeof table[0]);

    std::string app = applicationName ? reinterpret_cast<const char*>(applicationName) : "";
    int rc = XrmLoadResources(resources_, (app + ".OVKSYS").c_str(), (app + ".PosSystem").c_str(),
                              table, rows);
    if (rc == 0) {
        traceOptions_ = static_cast<uint16_t>(trace);
        probeOptions_ = static_cast<uint16_t>(probe);
        alertGeneration_ = alert;
        sv.slotMask = static_cast<uint32_t>(slotMask);
        sv.serviceThreadPriority = priority;
        pollList_ = pollList;
        rc = SystemSetValuesCreation(args, count);
        if (rc == 0) rc = SystemSetValues(args, count);
        if (rc == 0) rc = ValidateSystemResources();
    }
    XrmDumpResources(table, rows);
    // The loaded poll list is freed with the table: never keep a pointer to it.
    pollList_ = nullptr;
    return rc;
}

int COMD::SystemSetValuesCreation(PosArg* args, int count) {
    CoreSystemValues& sv = coreSystemValues();
    for (int i = 0; args && i < count; ++i) {
        const PosArg& a = args[i];
        if (!a.name) continue;
        if (nameIs(a, "serviceThreadPrty")) sv.serviceThreadPriority = static_cast<int32_t>(a.value);
        else if (nameIs(a, "slotMask")) sv.slotMask = static_cast<uint32_t>(a.value) & 0xFFFF;
        else if (nameIs(a, "traceOptions")) traceOptions_ = static_cast<uint16_t>(a.value);
        else if (nameIs(a, "probeOptions")) probeOptions_ = static_cast<uint16_t>(a.value);
        else if (nameIs(a, "alertGeneration")) alertGeneration_ = static_cast<int32_t>(a.value);
    }
    return 0;
}

int COMD::SystemSetValues(PosArg* args, int count) {
    // A client changes only the values it names: reading the others and writing them back is
    // one step under the lock, or two clients setting values at once undo each other.
    if (!LockComd()) return 301;
    int rc = 0;
    uint16_t trace = traceOptions_;
    uint16_t probe = probeOptions_;
    int32_t alert = alertGeneration_;
    for (int i = 0; rc == 0 && args && i < count; ++i) {
        const PosArg& a = args[i];
        if (!a.name) continue;
        if (nameIs(a, "traceOptions")) {
            trace = static_cast<uint16_t>(a.value);
        } else if (nameIs(a, "probeOptions")) {
            probe = static_cast<uint16_t>(a.value);
        } else if (nameIs(a, "alertGeneration")) {
            if (a.value == 0 || a.value == 1) alert = static_cast<int32_t>(a.value);
        } else if (nameIs(a, "pollList")) {
            rc = chCheckBuffer(reinterpret_cast<const void*>(a.value), 0, CH_ACCESS_STRING);
        }
    }
    if (rc == 0) {
        traceOptions_ = trace;
        probeOptions_ = probe;
        alertGeneration_ = alert;
    }
    UnlockComd();
    return rc;
}

int COMD::SystemGetValues(PosArg* args, int count) {
    const CoreSystemValues& sv = coreSystemValues();
    for (int i = 0; args && i < count; ++i) {
        PosArg& a = args[i];
        if (!a.name) continue;
        if (nameIs(a, "traceOptions")) {
            a.value = traceOptions_;
        } else if (nameIs(a, "probeOptions")) {
            a.value = probeOptions_;
        } else if (nameIs(a, "alertGeneration")) {
            a.value = alertGeneration_;
        } else if (nameIs(a, "serviceThreadPrty")) {
            a.value = sv.serviceThreadPriority;
        } else if (nameIs(a, "slotMask")) {
            a.value = static_cast<intptr_t>(sv.slotMask);
        } else if (nameIs(a, "vitalProductData")) {
            void* buffer = reinterpret_cast<void*>(a.value);
            int rc = chCheckBuffer(buffer, 24, CH_ACCESS_WRITE);
            if (rc != 0) return rc;
            std::memcpy(buffer, sv.vitalProductData, 24);
        } else if (nameIs(a, "subsystemVersion")) {
            char* buffer = reinterpret_cast<char*>(a.value);
            int rc = chCheckBuffer(buffer, 16, CH_ACCESS_WRITE);
            if (rc != 0) return rc;
            int n = 0;
            for (uint8_t v : subsystemInfo_.version) buffer[n++] = static_cast<char>('0' + v);
            buffer[n++] = '0';
            buffer[n++] = ' ';
            for (int k = 0; k < 7 && subsystemInfo_.level[k]; ++k) buffer[n++] = subsystemInfo_.level[k];
            buffer[n] = '\0';
        }
    }
    return 0;
}

int COMD::ValidateSystemResources() {
    int rc = 0;
    if (pollList_) rc = ProcessPollListStr(pollList_);
    pollList_ = nullptr;
    return rc;
}

int COMD::QuerySubsystemInfo(SubsystemInfo& info) {
    std::memset(&info, 0, sizeof info);
    return 0;
}

int COMD::ProcessPollListStr(const char* list) {
    if (!list) return 0;
    const char* p = list;
    // After an address: what may follow it.
    auto separatorOrItem = [](char c) {
        return c == '\0' || c == ' ' || c == ',' || c == '+' || c == '-' || c == '=' || c == 'S' ||
               c == 's';
    };
    while (*p) {
        char c = *p;
        if (c == ' ' || c == ',') {
            ++p;
            continue;
        }
        if (c == 'S' || c == 's') {
            char d = p[1];
            if (!((d >= '1' && d <= '8') || d == '*')) return 310;
            p += 2;
            continue;
        }
        bool withOperator = c == '+' || c == '-' || c == '=';
        if (withOperator) ++p;
        // The address: "*" or exactly two hexadecimal digits.
        if (*p == '*') {
            ++p;
        } else if (isHex(p[0]) && isHex(p[1])) {
            int address = hexValue(p[0]) * 16 + hexValue(p[1]);
            if (address > 0x7F || !ObjectSupport::AddressValid(static_cast<unsigned>(address))) return 310;
            p += 2;
        } else {
            return 310;
        }
        if (!separatorOrItem(*p)) return 310;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Processes

bool COMD::LockComd() {
    int rc = lock_.Acquire(15);
    if (rc != 0) {
        clErrorLog(206, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(COMD));
        return false;
    }
    return true;
}

void COMD::UnlockComd() {
    int rc = lock_.Release();
    if (rc != 0) clErrorLog(212, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(COMD));
}

int COMD::AddProcess(Process* process) {
    if (!process || chCheckBuffer(process, sizeof(Process), CH_ACCESS_WRITE) != 0) return 321;

    for (Slot* s : slots_)
        if (s) s->LockSlot();
    int rc = 321;
    bool duplicate = false;
    if (LockComd()) {
        for (int r = processes_.start(); r == 0; r = processes_.fwd()) {
            auto* p = static_cast<Process*>(processes_.get());
            if (p && p->GetProcessId() == process->GetProcessId()) {
                duplicate = true;
                break;
            }
        }
        if (!duplicate) {
            processes_.end();
            rc = processes_.linkin(process);
        }
        UnlockComd();
    }
    if (duplicate) clErrorLog(204, 321, 0, kTag, process, sizeof(Process));
    else if (rc == 0) WhoIsOnline(process->GetEventDestination());
    for (Slot* s : slots_)
        if (s) s->UnlockSlot();
    return rc;
}

int COMD::RemoveProcess(int processId) {
    Process* found = nullptr;
    if (!LockComd()) return 321;
    for (int r = processes_.start(); r == 0; r = processes_.fwd()) {
        auto* p = static_cast<Process*>(processes_.get());
        if (p && p->GetProcessId() == processId) {
            found = p;
            auto* unlinked = static_cast<Process*>(processes_.linkout());
            if (unlinked != found)
                clErrorLog(210, 0, 0, kTag, unlinked, unlinked ? sizeof(Process) : 0, found,
                           sizeof(Process));
            break;
        }
    }
    UnlockComd();
    if (!found) {
        int32_t id = processId;
        clErrorLog(211, 321, 0, kTag, &id, sizeof id);
        return 321;
    }
    return 0;
}

int COMD::FindProcess(int processId, Process*& out) {
    out = nullptr;
    // The list's cursor is shared: walk it under the lock.
    if (!LockComd()) return 0;
    for (int r = processes_.start(); r == 0; r = processes_.fwd()) {
        auto* p = static_cast<Process*>(processes_.get());
        if (p && p->GetProcessId() == processId) {
            out = p;
            break;
        }
    }
    UnlockComd();
    return 0;
}

int COMD::WhoIsOnline(const MsgQueueInfo& queue) {
    for (Slot* s : slots_)
        if (s) s->WhoIsOnline(queue);
    return 0;
}

int COMD::PdevReleased(const DeviceID& id, unsigned char address) {
    if (!LockComd()) return 301;
    for (int r = processes_.start(); r == 0; r = processes_.fwd())
        if (auto* p = static_cast<Process*>(processes_.get())) p->PdevReleased(id, address);
    UnlockComd();
    return 0;
}

// ---------------------------------------------------------------------------------------
// Events

int COMD::PostQueueMsg(const MsgQueueInfo* queue, unsigned long msg, unsigned long p1,
                       unsigned long p2) {
    if (queue) return PostMessageToApplication(queue, msg, p1, p2);
    if (!LockComd()) return 301;
    for (int r = processes_.start(); r == 0; r = processes_.fwd())
        if (auto* p = static_cast<Process*>(processes_.get()))
            PostMessageToApplication(&p->GetEventDestination(), msg, p1, p2);
    UnlockComd();
    return 0;
}

int COMD::PostMessageToApplication(const MsgQueueInfo* queue, unsigned long msg,
                                   unsigned long p1, unsigned long p2) {
    uint32_t words[3] = {static_cast<uint32_t>(msg), static_cast<uint32_t>(p1),
                         static_cast<uint32_t>(p2)};
    clTrace(93, 8, words, sizeof words, 0);
    if (!queue) return 321;
    if (queue->kind == 0) {
        clErrorLog(209, 301, 0xFFFFFFFFu, kTag, queue, sizeof(MsgQueueInfo));
        return 301;
    }
    EventQueue* q = EventQueueOf(*queue);
    if (!q) return 321;
    int count = 0;
    int rc = q->Write(reinterpret_cast<unsigned char*>(words), sizeof words, count);
    if (rc != 0 && rc != 320 && rc != 321)
        clErrorLog(208, static_cast<uint32_t>(rc), 0, kTag, words, sizeof words);
    return rc;
}

// ---------------------------------------------------------------------------------------
// Validation

int COMD::ValidateSlot(int slot) {
    return slot >= 0 && slot < kSlots && slots_[slot] ? 0 : 326;
}

int COMD::ValidateOS_Queue(const MsgQueueInfo& queue) { return queue.kind == 0 ? 308 : 0; }

// ---------------------------------------------------------------------------------------
// DBCS helpers

int COMD::getctype(const unsigned char* s, unsigned int n) { return dbcs_.getctype(s, n); }

const unsigned char* COMD::ms_strchr(const unsigned char* s, const unsigned char* c) {
    return dbcs_.ms_strchr(s, c);
}
