# app sources
