mkfifo p
{ head -c 64 /dev/zero >p; } >/dev/null 2>&1 &
tilefold p
