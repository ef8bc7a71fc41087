// The libcurl transport (placeholder: being written).
#ifndef TRAWLER_WEB_TRANSPORT_H_
#define TRAWLER_WEB_TRANSPORT_H_
#endif  // TRAWLER_WEB_TRANSPORT_H_
