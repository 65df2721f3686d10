! A Fortran caller of the library: writes a standard file through the
! by-reference entry points, reads it back, and checks descriptors, values,
! level texts and dates. Character arguments are declared both shorter and
! longer than the fields they fill. The entry points come from the installed
! module zep_legacy: real and integer fields go through the same vktecr and
! vktluk with no argument mismatch. Ends with status 1 on the first mismatch.
program zep_fortran
  use zep_legacy
  implicit none
  integer, external :: newdate
  external :: convip, incdatr
  integer :: iun, ier, key, ni, nj, nk, i
  real :: field(6), back(6)
  integer :: ifield(4), iback(4)
  integer :: dateo, deet, npas, nbits, datyp, ip1, ip2, ip3, ig1, ig2, ig3, ig4
  integer :: swa, lng, dltf, ubc, e1, e2, e3
  character(len=2) :: typvar
  character(len=4) :: nomvar
  character(len=20) :: etiket
  character(len=1) :: grtyp
  character(len=32) :: level
  real :: p
  integer :: kind, mode, flag, ip
  integer :: stamp, stamp6, date, time
  double precision :: hours

  ! Start from no file at all.
  open(unit=99, file='fortran.vkt', status='unknown')
  close(99, status='delete')

  ! Dates: a stamp and back, and six hours later.
  date = 20240115
  time = 12000000
  ier = newdate(stamp, date, time, 3)
  call check(ier == 0, 'newdate mode 3')
  hours = 6.0d0
  call incdatr(stamp6, stamp, hours)
  ier = newdate(stamp6, date, time, -3)
  call check(ier == 0 .and. date == 20240115 .and. time == 18000000, 'incdatr of 6 hours')

  ! Levels: 500 mb coded in the new style and decoded with its text.
  p = 500.0
  kind = 2
  mode = 2
  flag = 0
  call convip(ip, p, kind, mode, level, flag)
  p = 0.0
  kind = -1
  mode = -1
  flag = 1
  level = ' '
  call convip(ip, p, kind, mode, level, flag)
  call check(abs(p - 500.0) < 1e-3 .and. kind == 2, 'convip decodes 500 mb')
  call check(index(level, '500') > 0 .and. index(level, 'mb') > 0, 'convip level text')

  ! Write three records.
  iun = 31
  ier = fnom(iun, 'fortran.vkt', 'STD+RND', 0)
  call check(ier == 0, 'fnom for writing')
  ier = vktouv(iun, 'RND')
  call check(ier >= 0, 'vktouv for writing')
  do i = 1, 6
    field(i) = 250.0 + 10.0 * i
  end do
  ier = vktecr(field, field, -16, iun, stamp, 3600, 6, 3, 2, 1, ip, 7, 8, 'P', 'TT', &
               'FORT', 'X', 1, 2, 3, 4, 1, 0)
  call check(ier >= 0, 'vktecr packed reals')
  ifield = (/ -5, 0, 123456, 2147483647 /)
  ier = vktecr(ifield, ifield, -32, iun, stamp, 0, 0, 4, 1, 1, ip, 0, 0, 'I', 'II', &
               'LONGLABEL_TOO_LONG__', 'X', 0, 0, 0, 0, 4, 0)
  call check(ier >= 0, 'vktecr signed integers')
  ier = vktfrm(iun)
  ier = fclos(iun)

  ! Read them back.
  ier = fnom(iun, 'fortran.vkt', 'STD+RND+R/O', 0)
  call check(ier == 0, 'fnom for reading')
  ier = vktouv(iun, 'RND')
  call check(ier == 2, 'vktouv finds two records')

  key = vktinf(iun, ni, nj, nk, -1, ' ', -1, -1, -1, ' ', 'TT')
  call check(key >= 0 .and. ni == 3 .and. nj == 2 .and. nk == 1, 'vktinf TT')
  ! The entry fills at most the field's 12 characters of a longer string.
  etiket = 'garbage garbage garb'
  ier = vktprm(key, dateo, deet, npas, ni, nj, nk, nbits, datyp, ip1, ip2, ip3, typvar, &
               nomvar, etiket, grtyp, ig1, ig2, ig3, ig4, swa, lng, dltf, ubc, e1, e2, e3)
  call check(ier >= 0, 'vktprm TT')
  call check(dateo == stamp .and. deet == 3600 .and. npas == 6, 'vktprm dates')
  call check(nbits == 16 .and. datyp == 1 .and. ip1 == ip .and. ip2 == 7 .and. ip3 == 8, &
             'vktprm codes')
  call check(nomvar == 'TT' .and. typvar == 'P' .and. grtyp == 'X', 'vktprm names')
  call check(etiket(1:12) == 'FORT' .and. etiket(13:20) == 'age garb', 'vktprm etiket field')
  call check(ig1 == 1 .and. ig2 == 2 .and. ig3 == 3 .and. ig4 == 4, 'vktprm grid')
  call check(e1 == stamp6, 'stored validity stamp')
  back = 0.0
  ier = vktluk(back, key, ni, nj, nk)
  call check(ier >= 0, 'vktluk TT')
  do i = 1, 6
    call check(abs(back(i) - field(i)) <= 0.01, 'packed values within the quantisation step')
  end do

  key = vktsui(iun, ni, nj, nk)
  call check(key < 0, 'only one TT')
  key = vktinf(iun, ni, nj, nk, -1, 'LONGLABEL_TO', -1, -1, -1, ' ', ' ')
  call check(key >= 0 .and. ni == 4, 'vktinf by a 12-character label')
  etiket = ' '
  ier = vktprm(key, dateo, deet, npas, ni, nj, nk, nbits, datyp, ip1, ip2, ip3, typvar, &
               nomvar, etiket, grtyp, ig1, ig2, ig3, ig4, swa, lng, dltf, ubc, e1, e2, e3)
  call check(nomvar == 'II' .and. datyp == 4 .and. etiket == 'LONGLABEL_TO', 'vktprm II')
  iback = 0
  ier = vktluk(iback, key, ni, nj, nk)
  call check(ier >= 0 .and. all(iback == ifield), 'integers read back exactly')

  ier = vktfrm(iun)
  ier = fclos(iun)
  print '(a)', 'fortran caller: all checks passed'

contains

  subroutine check(ok, what)
    logical, intent(in) :: ok
    character(len=*), intent(in) :: what
    if (.not. ok) then
      print '(2a)', 'fortran caller: failed: ', what
      stop 1
    end if
  end subroutine check

end program zep_fortran
