# messaging sources
