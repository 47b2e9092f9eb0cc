# Writes config.xml with the licence window switched off: IN the shipped
# file, OUT the copy.
file(READ ${IN} text)
string(REPLACE "<isshoweula>1</isshoweula>" "<isshoweula>0</isshoweula>" text "${text}")
file(WRITE ${OUT} "${text}")
