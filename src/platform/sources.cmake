# platform sources
