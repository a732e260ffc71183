CREATE TABLE notes (
    id varchar(36),
    mynote text,
    form_x int,
    form_y int,
    form_w int,
    form_h int,
    form_trans int,
    fontcolor int,
    fontsize int,
    fontname varchar(255),
    fontbold int,
    alerttype int,
    alertvalue1 varchar(255),
    alertvalue2 varchar(255),
    alertvalue3 varchar(255),
    shownote int,
    ctime datetime,
    commited int,
    rev int default 0,
    unsent int default 0,
    account varchar(20) default ''
);
CREATE UNIQUE INDEX notes_id ON notes (id);
