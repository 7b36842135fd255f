# widgets sources
