mkfifo p
tilefold p
