#include "platform/socket_errors.h"

#include <netdb.h>

#include <cerrno>

namespace postrider {

int SocketErrorFromErrno(int errnoValue) {
  switch (errnoValue) {
    case EINTR: return kWsaEintr;
    case EBADF: return kWsaEbadf;
    case EACCES:
    case EPERM: return kWsaEacces;
    case EFAULT: return kWsaEfault;
    case EINVAL: return kWsaEinval;
    case EMFILE:
    case ENFILE: return kWsaEmfile;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN: return kWsaEwouldblock;
    case EINPROGRESS: return kWsaEinprogress;
    case EALREADY: return kWsaEalready;
    case ENOTSOCK: return kWsaEnotsock;
    case EDESTADDRREQ: return kWsaEdestaddrreq;
    case EMSGSIZE: return kWsaEmsgsize;
    case EPROTOTYPE: return kWsaEprototype;
    case ENOPROTOOPT: return kWsaEnoprotoopt;
    case EPROTONOSUPPORT: return kWsaEprotonosupport;
    case ESOCKTNOSUPPORT: return kWsaEsocktnosupport;
#if EOPNOTSUPP != ENOTSUP
    case ENOTSUP:
#endif
    case EOPNOTSUPP: return kWsaEopnotsupp;
    case EPFNOSUPPORT: return kWsaEpfnosupport;
    case EAFNOSUPPORT: return kWsaEafnosupport;
    case EADDRINUSE: return kWsaEaddrinuse;
    case EADDRNOTAVAIL: return kWsaEaddrnotavail;
    case ENETDOWN: return kWsaEnetdown;
    case ENETUNREACH: return kWsaEnetunreach;
    case ENETRESET: return kWsaEnetreset;
    case ECONNABORTED: return kWsaEconnaborted;
    // Writing to a connection the peer has reset.
    case EPIPE:
    case ECONNRESET: return kWsaEconnreset;
    case ENOBUFS:
    case ENOMEM: return kWsaEnobufs;
    case EISCONN: return kWsaEisconn;
    case ENOTCONN: return kWsaEnotconn;
    case ESHUTDOWN: return kWsaEshutdown;
    case ETOOMANYREFS: return kWsaEtoomanyrefs;
    case ETIMEDOUT: return kWsaEtimedout;
    case ECONNREFUSED: return kWsaEconnrefused;
    case ELOOP: return kWsaEloop;
    case ENAMETOOLONG: return kWsaEnametoolong;
    case EHOSTDOWN: return kWsaEhostdown;
    case EHOSTUNREACH: return kWsaEhostunreach;
    default: return kWsaSyscallFailure;
  }
}

int SocketErrorFromResolver(int gaiError, int errnoValue) {
  switch (gaiError) {
    case EAI_NONAME: return kWsaHostNotFound;
    case EAI_AGAIN: return kWsaTryAgain;
    case EAI_FAIL: return kWsaNoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA: return kWsaNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return kWsaNoData;
#endif
    case EAI_FAMILY: return kWsaEafnosupport;
    case EAI_SOCKTYPE: return kWsaEsocktnosupport;
    case EAI_SERVICE: return kWsaTypeNotFound;
    case EAI_MEMORY: return kWsaEnobufs;
    case EAI_BADFLAGS: return kWsaEinval;
    case EAI_SYSTEM: return SocketErrorFromErrno(errnoValue);
    default: return kWsaNoRecovery;
  }
}

std::string DescribeSocketError(int error) {
  switch (error) {
    case 0: return "No error";
    case kWsaEintr: return "The call was cancelled";
    case kWsaEbadf: return "Bad file descriptor";
    case kWsaEacces: return "Permission denied";
    case kWsaEfault: return "Bad address";
    case kWsaEinval: return "Invalid argument";
    case kWsaEmfile: return "Too many open files";
    case kWsaEwouldblock: return "The operation would block";
    case kWsaEinprogress: return "A blocking call is already in progress";
    case kWsaEalready: return "The operation is already in progress";
    case kWsaEnotsock: return "Not a socket";
    case kWsaEdestaddrreq: return "Destination address required";
    case kWsaEmsgsize: return "Message too long";
    case kWsaEprototype: return "Protocol wrong type for socket";
    case kWsaEnoprotoopt: return "Bad protocol option";
    case kWsaEprotonosupport: return "Protocol not supported";
    case kWsaEsocktnosupport: return "Socket type not supported";
    case kWsaEopnotsupp: return "Operation not supported";
    case kWsaEpfnosupport: return "Protocol family not supported";
    case kWsaEafnosupport: return "Address family not supported";
    case kWsaEaddrinuse: return "Address already in use";
    case kWsaEaddrnotavail: return "Cannot assign requested address";
    case kWsaEnetdown: return "Network is down";
    case kWsaEnetunreach: return "Network is unreachable";
    case kWsaEnetreset: return "Network dropped the connection on reset";
    case kWsaEconnaborted: return "Connection aborted";
    case kWsaEconnreset: return "Connection reset by the server";
    case kWsaEnobufs: return "No buffer space available";
    case kWsaEisconn: return "Already connected";
    case kWsaEnotconn: return "Not connected";
    case kWsaEshutdown: return "Cannot send after the connection was shut down";
    case kWsaEtoomanyrefs: return "Too many references";
    case kWsaEtimedout: return "Timed out";
    case kWsaEconnrefused: return "Connection refused";
    case kWsaEloop: return "Too many levels of symbolic links";
    case kWsaEnametoolong: return "Name too long";
    case kWsaEhostdown: return "Host is down";
    case kWsaEhostunreach: return "No route to host";
    case kWsaEdiscon: return "The server closed the connection";
    case kWsaSyscallFailure: return "System call failure";
    case kWsaTypeNotFound: return "Service not found";
    case kWsaHostNotFound: return "Host not found";
    case kWsaTryAgain: return "Host not found, or the name server did not answer; try again";
    case kWsaNoRecovery: return "Name lookup failed";
    case kWsaNoData: return "The name has no address";
    default: return "Socket error " + std::to_string(error);
  }
}

}  // namespace postrider
