#pragma once

#include <string>

namespace postrider {

// Socket errors carry the WinSock numbers that the send log and the rest of
// the program have always shown, whatever the platform reports underneath.
constexpr int kWsaBaseError = 10000;
constexpr int kWsaEintr = 10004;            // the call was cancelled
constexpr int kWsaEbadf = 10009;
constexpr int kWsaEacces = 10013;
constexpr int kWsaEfault = 10014;
constexpr int kWsaEinval = 10022;
constexpr int kWsaEmfile = 10024;
constexpr int kWsaEwouldblock = 10035;
constexpr int kWsaEinprogress = 10036;      // another blocking call is waiting
constexpr int kWsaEalready = 10037;
constexpr int kWsaEnotsock = 10038;
constexpr int kWsaEdestaddrreq = 10039;
constexpr int kWsaEmsgsize = 10040;
constexpr int kWsaEprototype = 10041;
constexpr int kWsaEnoprotoopt = 10042;
constexpr int kWsaEprotonosupport = 10043;
constexpr int kWsaEsocktnosupport = 10044;
constexpr int kWsaEopnotsupp = 10045;
constexpr int kWsaEpfnosupport = 10046;
constexpr int kWsaEafnosupport = 10047;
constexpr int kWsaEaddrinuse = 10048;
constexpr int kWsaEaddrnotavail = 10049;
constexpr int kWsaEnetdown = 10050;
constexpr int kWsaEnetunreach = 10051;
constexpr int kWsaEnetreset = 10052;
constexpr int kWsaEconnaborted = 10053;
constexpr int kWsaEconnreset = 10054;
constexpr int kWsaEnobufs = 10055;
constexpr int kWsaEisconn = 10056;
constexpr int kWsaEnotconn = 10057;
constexpr int kWsaEshutdown = 10058;
constexpr int kWsaEtoomanyrefs = 10059;
constexpr int kWsaEtimedout = 10060;
constexpr int kWsaEconnrefused = 10061;
constexpr int kWsaEloop = 10062;
constexpr int kWsaEnametoolong = 10063;
constexpr int kWsaEhostdown = 10064;
constexpr int kWsaEhostunreach = 10065;
constexpr int kWsaEdiscon = 10101;          // the peer closed the connection
constexpr int kWsaTypeNotFound = 10109;     // unknown service or port
constexpr int kWsaSyscallFailure = 10107;   // anything the platform reports that has no number here
constexpr int kWsaHostNotFound = 11001;
constexpr int kWsaTryAgain = 11002;
constexpr int kWsaNoRecovery = 11003;
constexpr int kWsaNoData = 11004;

// The WinSock number for an errno value.
int SocketErrorFromErrno(int errnoValue);
// The WinSock number for a getaddrinfo result; errnoValue is used for EAI_SYSTEM.
int SocketErrorFromResolver(int gaiError, int errnoValue);

// A short English description, e.g. "Connection refused"; never empty.
std::string DescribeSocketError(int error);

}  // namespace postrider
