// (placeholder: being written)
#ifndef TRAWLER_SEARCH_SITE_TABLE_H_
#define TRAWLER_SEARCH_SITE_TABLE_H_
#endif  // TRAWLER_SEARCH_SITE_TABLE_H_
