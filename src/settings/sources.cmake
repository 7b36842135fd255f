# settings sources
