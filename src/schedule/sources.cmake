# schedule sources
