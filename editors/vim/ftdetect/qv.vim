" QV source files
au BufRead,BufNewFile *.qv setfiletype qv
