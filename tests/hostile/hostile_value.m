function x = hostile_value(lib)
% HOSTILE_VALUE  A value of the kind a hostile caller passes where anything
% else is expected: wrong classes, empty, complex, sparse, huge, NaN,
% several dimensions, objects, function handles, handle vectors holding
% numbers that name nothing, matrix descriptions with broken arrays, and
% valid values of the library in the wrong place.
  n = lib.n;
  switch randi(44)
    case 1, x = [];
    case 2, x = zeros(0, 3);
    case 3, x = '';
    case 4, x = 'residual';
    case 5, x = {};
    case 6, x = {1, 'a'};
    case 7, x = struct();
    case 8, x = struct('a', {});
    case 9, x = int8(-3);
    case 10, x = single(2.5);
    case 11, x = true;
    case 12, x = int32([-1 2^31 - 1]);
    case 13, x = uint64(2)^63;
    case 14, x = NaN;
    case 15, x = Inf;
    case 16, x = -Inf;
    case 17, x = 1e308;
    case 18, x = -2^31;
    case 19, x = 2^31;
    case 20, x = 2^53;
    case 21, x = 0.5;
    case 22, x = -1;
    case 23, x = (1:n)';
    case 24, x = randn(n, 1) + 1i;
    case 25, x = sparse(randn(n, 1));
    case 26, x = sparse(n, n);
    case 27, x = complex(zeros(n, 1));
    case 28, x = randn(n);
    case 29, x = NaN(n, 1);
    case 30, x = zeros(1e4, 1);  % below the allocator's mapping threshold
    case 31, x = @sin;
    case 32, x = @(y) y;
    case 33, x = v_handle(hostile_fresh(lib.K));
    case 34, x = buffer_object(pick({1.1e12, uint64(4096), uint8(1:8), []}));
    case 35, x = chandle(pick({NaN, -1, 1e10, 2^31, 0.5, [0 NaN], [1 1 1]}));
    case 36, x = broken_description(n);
    case 37, x = {struct('type', pick({1, 2, 1003, 2000, NaN, 'x'}), 'pr', 1)};
    case 38, x = int32(randi(2^16, n, 1) - 2^15);
    case 39, x = hostile_fresh(pick(lib.terms));
    case 40, x = zeros(n, 1, 3);
    case 41, x = randn(2, 2, 2, 2);
    case 42, x = hostile_fresh(pick({lib.K, lib.Kt, lib.M, lib.stepper, lib.modal}));
    case 43, x = zeros(n, 1) + 0;
    otherwise, x = ones(1, 3);
  end
end

% A matrix description whose arrays disagree with each other or with its
% size: indices out of range, pointers decreasing or past the values, sizes
% negative or huge, fields of the wrong class.
function s = broken_description(n)
  s = struct('pr', ones(n, 1), 'ir', int32((0:n - 1)'), 'jc', int32((0:n)'));
  switch randi(10)
    case 1, s.ir(end) = int32(2^31 - 1);
    case 2, s.ir(1) = int32(-5);
    case 3, s.jc(end) = int32(n + 100);
    case 4, s.jc(2) = int32(-1);
    case 5, s.jc = int32([0; 3; 1; n * ones(n - 2, 1)]);
    case 6, s.dims = [2e9 2e9];
    case 7, s.dims = [-1 n];
    case 8, s.trans = NaN; s.dims = [1 2^31];
    case 9, s.ir = double(s.ir);
    otherwise, s = rmfield(s, 'jc');
  end
end

function x = pick(list)
  x = list{randi(numel(list))};
end
