// (placeholder: being written)
#ifndef TRAWLER_SEARCH_SITE_SEARCH_H_
#define TRAWLER_SEARCH_SITE_SEARCH_H_
#endif  // TRAWLER_SEARCH_SITE_SEARCH_H_
