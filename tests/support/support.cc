namespace trawler::test {}
